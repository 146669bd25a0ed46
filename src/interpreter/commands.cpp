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

// TOP, LEFT, HEIGHT, WIDTH, HIDE and SHOW, the same for buttons and input boxes. Records hold
// pixels and follow their commands, so property reads give what the document wrote last.
template <typename Record>
bool Interpreter::placementCommand(RecordTable<Record> &table, int r, ControlId control,
                                   QStringView command, QStringView rest) {
  int Record::*field = nullptr;
  if (command == u"TOP")
    field = &Record::top;
  else if (command == u"LEFT")
    field = &Record::left;
  else if (command == u"HEIGHT")
    field = &Record::height;
  else if (command == u"WIDTH")
    field = &Record::width;
  if (field != nullptr) {
    table[r].*field = pixelValue(rest, command);
    const Record &b = table[r];
    m_windowSystem.setControlGeometry(control, QRect(b.left, b.top, b.width, b.height));
    return true;
  }
  if (command != u"HIDE" && command != u"SHOW") return false;
  table[r].visible = command == u"SHOW";
  m_windowSystem.setControlVisible(control, command == u"SHOW");
  return true;
}

void Interpreter::buttonCommand(const CommandTarget &target, QStringView command,
                                QStringView rest) {
  const int r = target.recordIndex;
  if (!m_objects.buttonTable.contains(r)) return;
  const ControlId control = m_objects.objectIndex[target.entry].control;
  const QString kind = m_objects.objectIndex[target.entry].kind;
  if (placementCommand(m_objects.buttonTable, r, control, command, rest)) return;
  if (command == u"BITMAP" && (kind == u"GRFBUTTON" || kind == u"SHPBUTTON")) {
    const QString path = quotedString(rest, 8);
    m_windowSystem.setControlPicture(
        control, m_resources != nullptr ? m_resources->resolveLocation(path) : path);
    m_objects.buttonTable[r].bitmap = path;
  }
}

void Interpreter::inputBoxCommand(const CommandTarget &target, QStringView command,
                                  QStringView rest) {
  const int r = target.recordIndex;
  if (!m_objects.inputBoxTable.contains(r)) return;
  const ControlId control = m_objects.objectIndex[target.entry].control;
  if (placementCommand(m_objects.inputBoxTable, r, control, command, rest)) return;
  if (command == u"TEXT") {
    const QString text = m_evaluator.stringValue(rest, 6);
    m_objects.inputBoxTable[r].text = text;
    m_windowSystem.setControlText(control, text);
  }
}

// Browser commands come with the browser module; until then they are recognised and ignored.
void Interpreter::browserCommand(const CommandTarget &, QStringView, QStringView) {}

} // namespace nuv
