// Commands on named objects: "Name.COMMAND value", routed by the object's kind.
#include "interpreter.h"

#include "arguments.h"
#include "resources.h"
#include "run.h"
#include "saturating.h"

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
  const CommandTarget target{entry, found.recordIndex};
  switch (found.kind) {
  case ObjectKind::Form:
    return formStatement(run, command, rest, false);
  case ObjectKind::Browser:
    return browserCommand(target, command, rest);
  case ObjectKind::InputBox:
    return inputBoxCommand(target, command, rest);
  case ObjectKind::TextButton:
  case ObjectKind::TextPictureButton:
  case ObjectKind::PictureButton:
  case ObjectKind::ShapedButton:
    return buttonCommand(target, command, rest);
  }
}

void Interpreter::formStatement(Run &run, QStringView command, QStringView text, bool inBlock) {
  const int at = operandPosition(command);
  const auto place = [&](bool horizontal) {
    int pos = at;
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
    place(false);
  } else if (command == u"LEFT") {
    place(true);
  } else if (command == u"NAME" && inBlock) {
    const int index = m_objects.formTable.count();
    int pos = at;
    if (m_objects.formTable.contains(index)) m_objects.formTable[index].name = getToken(text, pos);
  } else if (command == u"BITMAP") {
    run.pendingSkinBitmap = quotedString(text, at);
  } else if (command == u"ALPHABLENDBITMAP") {
    run.pendingAlphaBitmap = quotedString(text, at);
  } else if (command == u"SETSHAPEBMP") {
    run.skinApplied = true;
    applySkin(run.pendingSkinBitmap, run.pendingAlphaBitmap, true);
  }
}

int Interpreter::pixelValue(QStringView rest, QStringView command) const {
  return roundHalfEven(m_evaluator.longValueNumber(rest, operandPosition(command)));
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
    m_windowSystem.setControlGeometry(control, saturatedRect(b.left, b.top, b.width, b.height));
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
  const ObjectKind kind = m_objects.objectIndex[target.entry].kind;
  if (placementCommand(m_objects.buttonTable, r, control, command, rest)) return;
  if (command == u"BITMAP" &&
      (kind == ObjectKind::PictureButton || kind == ObjectKind::ShapedButton)) {
    const QString path = quotedString(rest, operandPosition(command));
    // The record first: a release or hover that comes while the picture does shows this one.
    m_objects.buttonTable[r].bitmap = path;
    showControlPicture(control, m_resources.resolveLocation(path));
  }
}

void Interpreter::inputBoxCommand(const CommandTarget &target, QStringView command,
                                  QStringView rest) {
  const int r = target.recordIndex;
  if (!m_objects.inputBoxTable.contains(r)) return;
  const ControlId control = m_objects.objectIndex[target.entry].control;
  if (placementCommand(m_objects.inputBoxTable, r, control, command, rest)) return;
  if (command == u"TEXT") {
    const QString text = m_evaluator.stringValue(rest, operandPosition(command));
    m_objects.inputBoxTable[r].text = text;
    m_windowSystem.setControlText(control, text);
  }
}

void Interpreter::browserCommand(const CommandTarget &target, QStringView command,
                                 QStringView rest) {
  const int r = target.recordIndex;
  if (!m_objects.browserTable.contains(r)) return;
  const ControlId control = m_objects.objectIndex[target.entry].control;
  static const struct {
    QStringView word;
    BrowserAction action;
  } actions[] = {
      {u"BACK", BrowserAction::Back},
      {u"FORWARD", BrowserAction::Forward},
      {u"REFRESH", BrowserAction::Refresh},
      {u"STOP", BrowserAction::Stop},
  };
  for (const auto &a : actions) {
    if (command != a.word) continue;
    m_windowSystem.browserAction(control, a.action);
    return;
  }
  if (command == u"HIDE" || command == u"SHOW") {
    // Unlike buttons, the record keeps the visibility it was declared with.
    m_windowSystem.setControlVisible(control, command == u"SHOW");
    return;
  }
  if (command == u"JSERRORS") {
    int pos = operandPosition(command);
    // TRUE makes the browser silent here, the opposite of the declaration's meaning.
    const bool value = upperCaseIs(tokenView(rest, pos), u"TRUE");
    m_objects.browserTable[r].jsErrors = value;
    m_windowSystem.setBrowserSilent(control, value);
    return;
  }
  if (command == u"LOCATION") {
    const QString location =
        resolvedBrowserAddress(m_evaluator.stringValue(rest, operandPosition(command)));
    trustBrowserAddress(location);
    m_objects.browserTable[r].location = location;
    m_windowSystem.navigate(control, location);
    return;
  }
  placementCommand(m_objects.browserTable, r, control, command, rest);
}

} // namespace nuv
