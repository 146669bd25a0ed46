// Commands on named objects: "Name.COMMAND value", routed by the object's kind.
#include "interpreter.h"

#include "arguments.h"
#include "resources.h"
#include "run.h"
#include "saturating.h"

namespace nuv {

using namespace Qt::StringLiterals;

namespace {

// The block that declared an object of this kind, whose words its commands are.
BlockKind blockKindOf(ObjectKind kind) {
  switch (kind) {
  case ObjectKind::Form:
    return BlockKind::Form;
  case ObjectKind::Browser:
    return BlockKind::Browser;
  case ObjectKind::InputBox:
    return BlockKind::InputBox;
  case ObjectKind::TextButton:
  case ObjectKind::TextPictureButton:
  case ObjectKind::PictureButton:
  case ObjectKind::ShapedButton:
    return BlockKind::Button;
  }
  return BlockKind::None;
}

} // namespace

void Interpreter::objectCommand(Run &run) {
  const int entry = m_objects.findObject(run.keyword);
  if (entry < 0) return;
  // Drop the name and the one separator after it ("." or a blank).
  const QStringView rest = restFrom(run.line, int(run.keyword.size()) + 2);
  int pos = 1;
  const QString command = getToken(rest, pos).toUpper();
  const ObjectIndexEntry &found = m_objects.objectIndex[entry];
  const CommandTarget target{entry, found.recordIndex};
  const BlockKind kind = blockKindOf(found.kind);
  const MemberWord *word = findMember(kindWords(kind), command, AsCommand);
  if (word == nullptr) return;
  switch (kind) {
  case BlockKind::Form:
    return formStatement(run, *word, rest);
  case BlockKind::Browser:
    return browserCommand(target, *word, rest);
  case BlockKind::InputBox:
    return inputBoxCommand(target, *word, rest);
  case BlockKind::Button:
    return buttonCommand(target, *word, rest);
  case BlockKind::None:
    return;
  }
}

void Interpreter::formStatement(Run &run, const MemberWord &command, QStringView text) {
  const int at = operandPosition(command.entry.word);
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
  switch (command.member) {
  case Member::Top:
    return place(false);
  case Member::Left:
    return place(true);
  case Member::Name: {
    const int index = m_objects.formTable.count();
    int pos = at;
    if (m_objects.formTable.contains(index)) m_objects.formTable[index].name = getToken(text, pos);
    return;
  }
  case Member::Bitmap:
    run.pendingSkinBitmap = quotedString(text, at);
    return;
  case Member::AlphaBlendBitmap:
    run.pendingAlphaBitmap = quotedString(text, at);
    return;
  case Member::SetShapeBmp:
    run.skinApplied = true;
    applySkin(run.pendingSkinBitmap, run.pendingAlphaBitmap, true);
    return;
  default:
    return;
  }
}

int Interpreter::pixelValue(QStringView rest, QStringView command) const {
  return roundHalfEven(m_evaluator.longValueNumber(rest, operandPosition(command)));
}

// TOP, LEFT, HEIGHT, WIDTH, HIDE and SHOW, the same for buttons and input boxes. Records hold
// pixels and follow their commands, so property reads give what the document wrote last.
template <typename Record>
bool Interpreter::placementCommand(RecordTable<Record> &table, int r, ControlId control,
                                   const MemberWord &command, QStringView rest) {
  int Record::*field = nullptr;
  switch (command.member) {
  case Member::Top:
    field = &Record::top;
    break;
  case Member::Left:
    field = &Record::left;
    break;
  case Member::Height:
    field = &Record::height;
    break;
  case Member::Width:
    field = &Record::width;
    break;
  case Member::Hide:
  case Member::Show: {
    const bool show = command.member == Member::Show;
    table[r].visible = show;
    m_windowSystem.setControlVisible(control, show);
    return true;
  }
  default:
    return false;
  }
  table[r].*field = pixelValue(rest, command.entry.word);
  const Record &b = table[r];
  m_windowSystem.setControlGeometry(control, saturatedRect(b.left, b.top, b.width, b.height));
  return true;
}

void Interpreter::buttonCommand(const CommandTarget &target, const MemberWord &command,
                                QStringView rest) {
  const int r = target.recordIndex;
  if (!m_objects.buttonTable.contains(r)) return;
  const ControlId control = m_objects.objectIndex[target.entry].control;
  const ObjectKind kind = m_objects.objectIndex[target.entry].kind;
  if (placementCommand(m_objects.buttonTable, r, control, command, rest)) return;
  if (command.member == Member::Bitmap &&
      (kind == ObjectKind::PictureButton || kind == ObjectKind::ShapedButton)) {
    const QString path = quotedString(rest, operandPosition(command.entry.word));
    // The record first: a release or hover that comes while the picture does shows this one.
    m_objects.buttonTable[r].bitmap = path;
    showControlPicture(control, m_resources.resolveLocation(path));
  }
}

void Interpreter::inputBoxCommand(const CommandTarget &target, const MemberWord &command,
                                  QStringView rest) {
  const int r = target.recordIndex;
  if (!m_objects.inputBoxTable.contains(r)) return;
  const ControlId control = m_objects.objectIndex[target.entry].control;
  if (placementCommand(m_objects.inputBoxTable, r, control, command, rest)) return;
  if (command.member == Member::Text) {
    const QString text = m_evaluator.stringValue(rest, operandPosition(command.entry.word));
    m_objects.inputBoxTable[r].text = text;
    m_windowSystem.setControlText(control, text);
  }
}

void Interpreter::browserCommand(const CommandTarget &target, const MemberWord &command,
                                 QStringView rest) {
  const int r = target.recordIndex;
  if (!m_objects.browserTable.contains(r)) return;
  const ControlId control = m_objects.objectIndex[target.entry].control;
  const int at = operandPosition(command.entry.word);
  switch (command.member) {
  case Member::Back:
    return m_windowSystem.browserAction(control, BrowserAction::Back);
  case Member::Forward:
    return m_windowSystem.browserAction(control, BrowserAction::Forward);
  case Member::Refresh:
    return m_windowSystem.browserAction(control, BrowserAction::Refresh);
  case Member::Stop:
    return m_windowSystem.browserAction(control, BrowserAction::Stop);
  case Member::Hide:
  case Member::Show:
    // Unlike buttons, the record keeps the visibility it was declared with.
    m_windowSystem.setControlVisible(control, command.member == Member::Show);
    return;
  case Member::JsErrors: {
    int pos = at;
    // TRUE makes the browser silent here, the opposite of the declaration's meaning.
    const bool value = upperCaseIs(tokenView(rest, pos), u"TRUE");
    m_objects.browserTable[r].jsErrors = value;
    m_windowSystem.setBrowserSilent(control, value);
    return;
  }
  case Member::Location: {
    const QString location = resolvedBrowserAddress(m_evaluator.stringValue(rest, at));
    trustBrowserAddress(location);
    m_objects.browserTable[r].location = location;
    m_windowSystem.navigate(control, location);
    return;
  }
  default:
    placementCommand(m_objects.browserTable, r, control, command, rest);
    return;
  }
}

} // namespace nuv
