// Commands on named objects: "Name.COMMAND value", routed by the object's kind.
#include "interpreter.h"

#include "arguments.h"
#include "resources.h"
#include "run.h"

namespace nuv {

using namespace Qt::StringLiterals;

void Interpreter::objectCommand(Run &run) {
  const int entry = m_objects.findObject(run.keyword);
  if (entry < 0) return;
  // Drop the name and the one separator after it ("." or a blank).
  const QStringView rest = restFrom(run.line, int(run.keyword.size()) + 2);
  int pos = 1;
  const QString command = getToken(rest, pos).toUpper();
  const ObjectIndexEntry &found = m_objects.objectIndex[entry];
  const QString kind = found.kind;
  const CommandTarget target{entry, found.recordIndex};
  if (kind == u"FORM")
    formStatement(run, command, rest, false);
  else if (kind == u"BROWSER")
    browserCommand(target, command, rest);
  else if (kind == u"INPUTBOX")
    inputBoxCommand(target, command, rest);
  else
    buttonCommand(target, command, rest);
}

void Interpreter::formStatement(Run &run, QStringView command, QStringView text, bool inBlock) {
  const auto place = [&](bool horizontal, int pos) {
    QPoint at = m_windowSystem.mainWindowPosition();
    const QSize screen = m_windowSystem.screenSize();
    // One literal token: "10.5" gives 10, a name gives 0.
    const QString value = trimBlanks(getToken(text, pos));
    if (horizontal)
      at.setX(placementValue(value, screen.width()));
    else
      at.setY(placementValue(value, screen.height()));
    m_windowSystem.setMainWindowPosition(at);
  };
  if (command == u"TOP") {
    place(false, 5);
  } else if (command == u"LEFT") {
    place(true, 6);
  } else if (command == u"NAME" && inBlock) {
    const int index = m_objects.formTable.count();
    int pos = 6;
    if (m_objects.formTable.contains(index)) m_objects.formTable[index].name = getToken(text, pos);
  } else if (command == u"BITMAP") {
    run.pendingSkinBitmap = quotedString(text, 8);
  } else if (command == u"ALPHABLENDBITMAP") {
    run.pendingAlphaBitmap = quotedString(text, 18);
  } else if (command == u"SETSHAPEBMP") {
    run.skinApplied = true;
    const auto resolve = [this](const QString &location) {
      return location.isEmpty() || m_resources == nullptr ? location
                                                          : m_resources->resolveLocation(location);
    };
    m_settings.skinState = m_windowSystem.applyWindowSkin(resolve(run.pendingSkinBitmap),
                                                          resolve(run.pendingAlphaBitmap));
  }
}

int Interpreter::pixelValue(QStringView rest, QStringView command) const {
  return roundHalfEven(m_evaluator.longValueNumber(rest, int(command.size()) + 2));
}

void Interpreter::buttonCommand(const CommandTarget &target, QStringView command,
                                QStringView rest) {
  if (!m_objects.buttonTable.contains(target.recordIndex)) return;
  const ControlId control = m_objects.objectIndex[target.entry].control;
  const QString kind = m_objects.objectIndex[target.entry].kind;
  const int r = target.recordIndex;
  // Records hold pixels, so property reads after a command give what the document wrote.
  const auto geometry = [&] {
    const ButtonRecord &b = m_objects.buttonTable[r];
    m_windowSystem.setControlGeometry(control, QRect(b.left, b.top, b.width, b.height));
  };
  if (command == u"TOP") {
    m_objects.buttonTable[r].top = pixelValue(rest, command);
    geometry();
  } else if (command == u"LEFT") {
    m_objects.buttonTable[r].left = pixelValue(rest, command);
    geometry();
  } else if (command == u"HEIGHT") {
    m_objects.buttonTable[r].height = pixelValue(rest, command);
    geometry();
  } else if (command == u"WIDTH") {
    m_objects.buttonTable[r].width = pixelValue(rest, command);
    geometry();
  } else if (command == u"HIDE" || command == u"SHOW") {
    m_objects.buttonTable[r].visible = command == u"SHOW";
    m_windowSystem.setControlVisible(control, command == u"SHOW");
  } else if (command == u"BITMAP" && (kind == u"GRFBUTTON" || kind == u"SHPBUTTON")) {
    const QString path = quotedString(rest, 8);
    m_windowSystem.setControlPicture(
        control, m_resources != nullptr ? m_resources->resolveLocation(path) : path);
    m_objects.buttonTable[r].bitmap = path;
  }
}

void Interpreter::inputBoxCommand(const CommandTarget &target, QStringView command,
                                  QStringView rest) {
  if (!m_objects.inputBoxTable.contains(target.recordIndex)) return;
  const ControlId control = m_objects.objectIndex[target.entry].control;
  const int r = target.recordIndex;
  // The box's record follows its commands, like a button's.
  const auto geometry = [&] {
    const InputBoxRecord &b = m_objects.inputBoxTable[r];
    m_windowSystem.setControlGeometry(control, QRect(b.left, b.top, b.width, b.height));
  };
  if (command == u"TOP") {
    m_objects.inputBoxTable[r].top = pixelValue(rest, command);
    geometry();
  } else if (command == u"LEFT") {
    m_objects.inputBoxTable[r].left = pixelValue(rest, command);
    geometry();
  } else if (command == u"HEIGHT") {
    m_objects.inputBoxTable[r].height = pixelValue(rest, command);
    geometry();
  } else if (command == u"WIDTH") {
    m_objects.inputBoxTable[r].width = pixelValue(rest, command);
    geometry();
  } else if (command == u"HIDE" || command == u"SHOW") {
    m_objects.inputBoxTable[r].visible = command == u"SHOW";
    m_windowSystem.setControlVisible(control, command == u"SHOW");
  } else if (command == u"TEXT") {
    const QString text = m_evaluator.stringValue(rest, 6);
    m_objects.inputBoxTable[r].text = text;
    m_windowSystem.setControlText(control, text);
  }
}

// Browser commands come with the browser module; until then they are recognised and ignored.
void Interpreter::browserCommand(const CommandTarget &, QStringView, QStringView) {}

} // namespace nuv
