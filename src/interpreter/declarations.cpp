// Object blocks: OBJECT opens a record, property and EVENT lines fill it, ENDOBJECT shows it.
#include "interpreter.h"

#include "arguments.h"
#include "resources.h"
#include "run.h"
#include "saturating.h"

#include <limits>
#include <utility>

namespace nuv {

using namespace Qt::StringLiterals;

namespace {

// Property values in blocks are literals, not expressions.
QString wordAt(QStringView line, int pos) {
  return getToken(line, pos);
}
QString upperWordAt(QStringView line, int pos) {
  return getToken(line, pos).toUpper();
}

// The leading signed decimal number of the token; "12.9" gives 12 because "." ends the token.
int numberAt(QStringView line, int pos) {
  const QStringView token = tokenView(line, pos);
  qsizetype i = 0;
  bool negative = false;
  if (i < token.size() && (token[i] == u'-' || token[i] == u'+')) {
    negative = token[i] == u'-';
    ++i;
  }
  qint64 value = 0;
  for (; i < token.size() && token[i].isDigit() && token[i].unicode() < 128; ++i) {
    value = value * 10 + (token[i].unicode() - u'0');
    if (value > std::numeric_limits<qint32>::max())
      return negative ? std::numeric_limits<qint32>::min() : std::numeric_limits<qint32>::max();
  }
  return int(negative ? -value : value);
}

bool flagAt(QStringView line, int pos) {
  return isTrue(line, pos);
}

// Sizes first: most property lines are not EVENT, and most words differ from it in length.
bool is(const QString &keyword, QStringView word) {
  return keyword.size() == word.size() && keyword == word;
}

// NAME, TOP, LEFT, WIDTH, HEIGHT and VISIBLE: the same for buttons, input boxes and browsers.
template <typename Record> bool commonProperty(Record &r, Member member, QStringView line, int at) {
  switch (member) {
  case Member::Name:
    r.name = wordAt(line, at);
    return true;
  case Member::Width:
    r.width = numberAt(line, at);
    return true;
  case Member::Height:
    r.height = numberAt(line, at);
    return true;
  case Member::Top:
    r.top = numberAt(line, at);
    return true;
  case Member::Left:
    r.left = numberAt(line, at);
    return true;
  case Member::Visible:
    r.visible = flagAt(line, at);
    return true;
  default:
    return false;
  }
}

// The EVENT blocks each kind stores. MOUSEDOWN, MOUSEUP and DOUBLECLICK are read and kept, so
// their lines never run as statements, but no control event runs them: a press and a release
// only swap the button's pictures, and a double click is two clicks.
const EventField<ButtonRecord> buttonEvents[] = {
    {u"CLICK", &ButtonRecord::onClick},         {u"DOUBLECLICK", &ButtonRecord::onDoubleClick},
    {u"MOUSEDOWN", &ButtonRecord::onMouseDown}, {u"MOUSEUP", &ButtonRecord::onMouseUp},
    {u"MOUSEOVER", &ButtonRecord::onMouseOver},
};
const EventField<InputBoxRecord> inputBoxEvents[] = {
    {u"CHANGED", &InputBoxRecord::onChanged},
};
const EventField<BrowserRecord> browserEvents[] = {
    {u"BEFORENAVIGATE", &BrowserRecord::onBeforeNavigate},
    {u"AFTERNAVIGATE", &BrowserRecord::onAfterNavigate},
};

} // namespace

QString Interpreter::resolved(const QString &location) const {
  return location.isEmpty() ? location : m_resources.resolveLocation(location);
}

QString Interpreter::resolvedBrowserAddress(const QString &location) const {
  return browserAddress(resolved(location));
}

void Interpreter::trustBrowserAddress(const QString &address) {
  if (m_pageRunDepth == 0) m_pageOrigins.trustAddress(address);
}

void Interpreter::openObject(Run &run) {
  const KindWords *kind = kindNamed(upperWordAt(run.line, operandPosition(run.keyword)));
  run.openBlock = kind != nullptr ? kind->kind : BlockKind::None;
  switch (run.openBlock) {
  case BlockKind::Button:
    m_objects.buttonTable[m_objects.buttonTable.append()].declaredByPage = m_pageRunDepth > 0;
    return;
  case BlockKind::InputBox:
    m_objects.inputBoxTable[m_objects.inputBoxTable.append()].declaredByPage = m_pageRunDepth > 0;
    return;
  case BlockKind::Browser:
    m_objects.browserTable[m_objects.browserTable.append()].declaredByPage = m_pageRunDepth > 0;
    return;
  case BlockKind::Form:
    m_objects.formTable.append();
    return;
  case BlockKind::None:
    showParseError(run.line.toString(), u"Invalid Object"_s);
    return;
  }
}

void Interpreter::propertyLine(Run &run) {
  switch (run.openBlock) {
  case BlockKind::Form:
    if (const MemberWord *word = findMember(kindWords(BlockKind::Form), run.keyword, InBlock))
      formStatement(run, *word, run.line);
    return;
  case BlockKind::Button:
    buttonProperty(run);
    return;
  case BlockKind::InputBox:
    inputBoxProperty(run);
    return;
  case BlockKind::Browser:
    browserProperty(run);
    return;
  case BlockKind::None:
    return;
  }
}

template <typename Record, size_t N>
void Interpreter::eventBlock(Run &run, RecordTable<Record> &table,
                             const EventField<Record> (&fields)[N]) {
  const QString name = upperWordAt(run.line, operandPosition(run.keyword));
  // Read first: the block's lines are consumed whether or not the name is known.
  const QString text = readEventBlock(run);
  if (!hasEvent(kindWords(run.openBlock), name)) return;
  for (const EventField<Record> &event : fields)
    if (name == event.name) table[table.count()].*event.field = text;
}

// The word's member in the block's kind; nullptr for a word the kind does not have.
static const MemberWord *propertyOf(BlockKind kind, const QString &keyword) {
  return findMember(kindWords(kind), keyword, InBlock);
}

void Interpreter::buttonProperty(Run &run) {
  auto &table = m_objects.buttonTable;
  if (!table.contains(table.count())) return;
  const QString &k = run.keyword;
  if (is(k, u"EVENT")) return eventBlock(run, table, buttonEvents);
  const MemberWord *word = propertyOf(BlockKind::Button, k);
  if (word == nullptr) return;
  const QStringView line = run.line;
  const int at = operandPosition(k);
  ButtonRecord &b = table[table.count()];
  if (commonProperty(b, word->member, line, at)) return;
  switch (word->member) {
  case Member::Type:
    b.type = upperWordAt(line, at);
    return;
  case Member::Bitmap:
    b.bitmap = quotedString(line, at);
    return;
  case Member::DownBitmap:
    b.downBitmap = quotedString(line, at);
    return;
  case Member::OverBitmap:
    b.overBitmap = quotedString(line, at);
    return;
  case Member::Caption:
    b.caption = quotedString(line, at);
    return;
  default:
    return;
  }
}

void Interpreter::inputBoxProperty(Run &run) {
  auto &table = m_objects.inputBoxTable;
  if (!table.contains(table.count())) return;
  const QString &k = run.keyword;
  if (is(k, u"EVENT")) return eventBlock(run, table, inputBoxEvents);
  const MemberWord *word = propertyOf(BlockKind::InputBox, k);
  if (word == nullptr) return;
  InputBoxRecord &b = table[table.count()];
  if (commonProperty(b, word->member, run.line, operandPosition(k))) return;
  if (word->member == Member::Text) b.text = quotedString(run.line, operandPosition(k));
}

void Interpreter::browserProperty(Run &run) {
  auto &table = m_objects.browserTable;
  if (!table.contains(table.count())) return;
  const QString &k = run.keyword;
  if (is(k, u"EVENT")) return eventBlock(run, table, browserEvents);
  const MemberWord *word = propertyOf(BlockKind::Browser, k);
  if (word == nullptr) return;
  const QStringView line = run.line;
  const int at = operandPosition(k);
  if (word->member == Member::Location) {
    const QString location = resolvedBrowserAddress(quotedString(line, at));
    table[table.count()].location = location;
    return;
  }
  BrowserRecord &b = table[table.count()];
  if (commonProperty(b, word->member, line, at)) return;
  switch (word->member) {
  case Member::Home:
    b.home = quotedString(line, at);
    return;
  case Member::Mask:
    b.mask = quotedString(line, at);
    return;
  case Member::Type:
    b.type = upperWordAt(line, at);
    return;
  case Member::JsErrors:
    b.jsErrors = flagAt(line, at);
    return;
  default:
    return;
  }
}

// Consumes the lines up to ENDEVENT without interpreting them. A block never
// closed ends with the text, and what was collected is kept.
QString Interpreter::readEventBlock(Run &run) {
  QString text;
  while (!run.atEnd()) {
    const QStringView line = trimmedView(run.nextLine());
    if (tokenIs(line, 1, u"ENDEVENT")) break;
    text += line;
    text += u'\n';
  }
  return text;
}

void Interpreter::closeObject(Run &run) {
  const BlockKind block = std::exchange(run.openBlock, BlockKind::None);
  switch (block) {
  case BlockKind::Button:
    return closeButton();
  case BlockKind::InputBox:
    return closeInputBox();
  case BlockKind::Browser:
    return closeBrowser();
  case BlockKind::Form:
    return closeForm();
  case BlockKind::None:
    return;
  }
}

// The record's type and bitmap choose the collection; a button that cannot be shown is kept but
// never registered.
void Interpreter::closeButton() {
  const int index = m_objects.buttonTable.count();
  if (!m_objects.buttonTable.contains(index)) return;
  ButtonRecord record = m_objects.buttonTable[index];
  const bool hasBitmap = !record.bitmap.isEmpty();
  ControlSpec request;
  if (record.type == u"TEXT")
    request.kind = hasBitmap ? ObjectKind::TextPictureButton : ObjectKind::TextButton;
  else if (record.type == u"GRAPHICAL" && hasBitmap)
    request.kind = ObjectKind::PictureButton;
  else if (record.type == u"SHAPED" && hasBitmap)
    request.kind = ObjectKind::ShapedButton;
  else
    return;
  // First, as it may wait: objects that nested runs declare meanwhile come before this one.
  request.picture = pictureAt(resolved(record.bitmap));
  request.element = ++m_objects.elementCount(request.kind);
  request.recordIndex = index;
  request.caption = record.caption;
  request.name = m_objects.nameOfNext(record.name);
  // A shaped button takes its picture's size.
  request.geometry = request.kind == ObjectKind::ShapedButton
                         ? saturatedRect(record.left, record.top, 0, 0)
                         : saturatedRect(record.left, record.top, record.width, record.height);
  request.visible = record.visible;
  const ControlId control = m_windowSystem.createControl(request);
  m_objects.registerObject(record.name, control, request.kind, index);
  ButtonRecord &stored = m_objects.buttonTable[index];
  stored.name = record.name;
  stored.controlIndex = request.element;
}

void Interpreter::closeInputBox() {
  const int index = m_objects.inputBoxTable.count();
  if (!m_objects.inputBoxTable.contains(index)) return;
  InputBoxRecord record = m_objects.inputBoxTable[index];
  ControlSpec request;
  request.kind = ObjectKind::InputBox;
  request.element = index;
  request.recordIndex = index;
  request.geometry = saturatedRect(record.left, record.top, record.width, record.height);
  request.text = record.text;
  request.name = m_objects.nameOfNext(record.name);
  request.visible = true; // input boxes show at creation whatever VISIBLE said
  const ControlId control = m_windowSystem.createControl(request);
  m_objects.registerObject(record.name, control, ObjectKind::InputBox, index);
  m_objects.inputBoxTable[index].name = record.name;
}

// Without the browser module, or past the bound, there is no browser; the object keeps its
// record and name, so its properties read and its commands change the record.
void Interpreter::closeBrowser() {
  const int index = m_objects.browserTable.count();
  if (!m_objects.browserTable.contains(index)) return;
  BrowserRecord record = m_objects.browserTable[index];
  if (index > maxBrowsers) {
    keepUnshownBrowser(record, index);
    return;
  }
  BrowserSpec request;
  request.recordIndex = index;
  request.name = m_objects.nameOfNext(record.name);
  request.geometry = saturatedRect(record.left, record.top, record.width, record.height);
  request.location = record.location; // resolved when the LOCATION line was read
  request.mask = pictureAt(resolved(record.mask));
  request.silent = !record.jsErrors;
  request.visible = record.visible;
  request.documentOrigin = originOf(m_resources.baseFolder());
  trustBrowserAddress(record.location);
  trustBrowserAddress(resolvedBrowserAddress(record.home));
  const ControlId control = m_windowSystem.createBrowser(request).value_or(0);
  m_objects.registerObject(record.name, control, ObjectKind::Browser, index);
  m_objects.browserTable[index].name = record.name;
}

// The table only grows during a document, so its count bounds every browser the document ever
// shows; the first one past the bound says so.
void Interpreter::keepUnshownBrowser(BrowserRecord &record, int index) {
  m_objects.registerObject(record.name, 0, ObjectKind::Browser, index);
  m_objects.browserTable[index].name = record.name;
  if (index == maxBrowsers + 1)
    m_windowSystem.writeDiagnostic(
        u"BROWSER %1 and any later one not shown: a document shows at most %2 browsers"_s
            .arg(record.name)
            .arg(maxBrowsers));
}

// A FORM stands for the main window, which exists already.
void Interpreter::closeForm() {
  const int index = m_objects.formTable.count();
  if (!m_objects.formTable.contains(index)) return;
  QString name = m_objects.formTable[index].name;
  m_objects.registerObject(name, 0, ObjectKind::Form, index);
  m_objects.formTable[index].name = name;
}

} // namespace nuv
