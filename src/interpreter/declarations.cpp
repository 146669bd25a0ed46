// Object blocks: OBJECT opens a record, property and EVENT lines fill it, ENDOBJECT shows it.
#include "interpreter.h"

#include "arguments.h"
#include "resources.h"
#include "run.h"

#include <limits>

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

// Sizes first: the handlers try many words in turn, and most differ in length.
bool is(const QString &keyword, QStringView word) {
  return keyword.size() == word.size() && keyword == word;
}

// NAME, TOP, LEFT, WIDTH, HEIGHT and VISIBLE: the same for buttons, input boxes and browsers.
template <typename Record> bool commonProperty(Record &r, const QString &k, QStringView line) {
  if (is(k, u"NAME"))
    r.name = wordAt(line, 6);
  else if (is(k, u"WIDTH"))
    r.width = numberAt(line, 7);
  else if (is(k, u"HEIGHT"))
    r.height = numberAt(line, 8);
  else if (is(k, u"TOP"))
    r.top = numberAt(line, 5);
  else if (is(k, u"LEFT"))
    r.left = numberAt(line, 6);
  else if (is(k, u"VISIBLE"))
    r.visible = flagAt(line, 9);
  else
    return false;
  return true;
}

} // namespace

void Interpreter::openObject(Run &run) {
  int pos = 8;
  run.openObjectKind = getToken(run.line, pos).toUpper();
  if (run.openObjectKind == u"BUTTON")
    m_objects.buttonTable.append();
  else if (run.openObjectKind == u"INPUTBOX")
    m_objects.inputBoxTable.append();
  else if (run.openObjectKind == u"BROWSER")
    m_objects.browserTable.append();
  else if (run.openObjectKind == u"FORM")
    m_objects.formTable.append();
  else
    showParseError(run.line.toString(), u"Invalid Object"_s);
}

void Interpreter::propertyLine(Run &run) {
  if (run.openObjectKind == u"FORM")
    formProperty(run);
  else if (run.openObjectKind == u"BUTTON")
    buttonProperty(run);
  else if (run.openObjectKind == u"INPUTBOX")
    inputBoxProperty(run);
  else
    browserProperty(run);
}

void Interpreter::formProperty(Run &run) {
  formStatement(run, run.keyword, run.line, true);
}

void Interpreter::buttonProperty(Run &run) {
  const int index = m_objects.buttonTable.count();
  if (!m_objects.buttonTable.contains(index)) return;
  const QString &k = run.keyword;
  const QStringView line = run.line;
  if (is(k, u"EVENT")) {
    const QString name = upperWordAt(line, 7);
    const QString text = readEventBlock(run);
    ButtonRecord &b = m_objects.buttonTable[index];
    if (name == u"CLICK")
      b.onClick = text;
    else if (name == u"DOUBLECLICK")
      b.onDoubleClick = text;
    else if (name == u"MOUSEDOWN")
      b.onMouseDown = text;
    else if (name == u"MOUSEUP")
      b.onMouseUp = text;
    else if (name == u"MOUSEOVER")
      b.onMouseOver = text;
    return;
  }
  ButtonRecord &b = m_objects.buttonTable[index];
  if (commonProperty(b, k, line)) return;
  if (is(k, u"TYPE"))
    b.type = upperWordAt(line, 6);
  else if (is(k, u"BITMAP"))
    b.bitmap = quotedString(line, 8);
  else if (is(k, u"DOWNBITMAP"))
    b.downBitmap = quotedString(line, 12);
  else if (is(k, u"OVERBITMAP"))
    b.overBitmap = quotedString(line, 12);
  else if (is(k, u"CAPTION"))
    b.caption = quotedString(line, 9);
}

void Interpreter::inputBoxProperty(Run &run) {
  const int index = m_objects.inputBoxTable.count();
  if (!m_objects.inputBoxTable.contains(index)) return;
  const QString &k = run.keyword;
  const QStringView line = run.line;
  if (is(k, u"EVENT")) {
    const QString name = upperWordAt(line, 7);
    const QString text = readEventBlock(run);
    if (name == u"CHANGED") m_objects.inputBoxTable[index].onChanged = text;
    return;
  }
  InputBoxRecord &b = m_objects.inputBoxTable[index];
  if (commonProperty(b, k, line)) return;
  if (is(k, u"TEXT")) b.text = quotedString(line, 6);
}

void Interpreter::browserProperty(Run &run) {
  const int index = m_objects.browserTable.count();
  if (!m_objects.browserTable.contains(index)) return;
  const QString &k = run.keyword;
  const QStringView line = run.line;
  if (is(k, u"EVENT")) {
    const QString name = upperWordAt(line, 7);
    const QString text = readEventBlock(run);
    BrowserRecord &b = m_objects.browserTable[index];
    if (name == u"BEFORENAVIGATE")
      b.onBeforeNavigate = text;
    else if (name == u"AFTERNAVIGATE")
      b.onAfterNavigate = text;
    return;
  }
  if (is(k, u"LOCATION")) {
    QString location = quotedString(line, 10);
    if (m_resources != nullptr) location = m_resources->resolveLocation(location);
    m_objects.browserTable[index].location = location;
    return;
  }
  BrowserRecord &b = m_objects.browserTable[index];
  if (commonProperty(b, k, line)) return;
  if (is(k, u"HOME"))
    b.home = quotedString(line, 6);
  else if (is(k, u"MASK"))
    b.mask = quotedString(line, 6);
  else if (is(k, u"TYPE"))
    b.type = upperWordAt(line, 6);
  else if (is(k, u"JSERRORS"))
    b.jsErrors = flagAt(line, 10);
}

// Consumes the lines up to ENDEVENT without interpreting them. A block never
// closed ends with the text, and what was collected is kept.
QString Interpreter::readEventBlock(Run &run) {
  QString text;
  while (run.lineIndex < run.lineCount()) {
    ++run.lineIndex;
    const QStringView line = trimmedView(run.lines.line(run.lineIndex));
    if (tokenIs(line, 1, u"ENDEVENT")) break;
    text += line;
    text += u'\n';
  }
  return text;
}

void Interpreter::closeObject(Run &run) {
  const QString kind = run.openObjectKind;
  run.openObjectKind.clear();
  if (kind == u"BUTTON") {
    const int index = m_objects.buttonTable.count();
    if (!m_objects.buttonTable.contains(index)) return;
    ButtonRecord record = m_objects.buttonTable[index];
    ControlSpec request;
    QString kindWord;
    int *counter = nullptr;
    if (record.type == u"TEXT" && record.bitmap.isEmpty()) {
      request.kind = ControlKind::TextButton;
      kindWord = u"TXTBUTTON"_s;
      counter = &m_objects.txtButtonCount;
    } else if (record.type == u"TEXT") {
      request.kind = ControlKind::TextPictureButton;
      kindWord = u"TGRBUTTON"_s;
      counter = &m_objects.tgrButtonCount;
    } else if (record.type == u"GRAPHICAL" && !record.bitmap.isEmpty()) {
      request.kind = ControlKind::PictureButton;
      kindWord = u"GRFBUTTON"_s;
      counter = &m_objects.grfButtonCount;
    } else if (record.type == u"SHAPED" && !record.bitmap.isEmpty()) {
      request.kind = ControlKind::ShapedButton;
      kindWord = u"SHPBUTTON"_s;
      counter = &m_objects.shpButtonCount;
    } else {
      return; // a button that cannot be shown is kept but never registered
    }
    request.element = ++*counter;
    request.recordIndex = index;
    request.caption = record.caption;
    request.geometry = request.kind == ControlKind::ShapedButton
                           ? QRect(record.left, record.top, 0, 0)
                           : QRect(record.left, record.top, record.width, record.height);
    if (!record.bitmap.isEmpty())
      request.picture =
          m_resources != nullptr ? m_resources->resolveLocation(record.bitmap) : record.bitmap;
    request.visible = record.visible;
    const ControlId control = m_windowSystem.createControl(request);
    m_objects.registerObject(record.name, control, kindWord, index);
    ButtonRecord &stored = m_objects.buttonTable[index];
    stored.name = record.name;
    stored.controlIndex = request.element;
    return;
  }
  if (kind == u"INPUTBOX") {
    const int index = m_objects.inputBoxTable.count();
    if (!m_objects.inputBoxTable.contains(index)) return;
    InputBoxRecord record = m_objects.inputBoxTable[index];
    ControlSpec request;
    request.kind = ControlKind::InputBox;
    request.element = index;
    request.recordIndex = index;
    request.geometry = QRect(record.left, record.top, record.width, record.height);
    request.text = record.text;
    request.visible = true; // input boxes show at creation whatever VISIBLE said
    const ControlId control = m_windowSystem.createControl(request);
    m_objects.registerObject(record.name, control, u"INPUTBOX"_s, index);
    m_objects.inputBoxTable[index].name = record.name;
    return;
  }
  if (kind == u"BROWSER") {
    const int index = m_objects.browserTable.count();
    if (!m_objects.browserTable.contains(index)) return;
    BrowserRecord record = m_objects.browserTable[index];
    ControlSpec request;
    request.kind = ControlKind::Browser;
    request.element = index;
    request.recordIndex = index;
    request.geometry = QRect(record.left, record.top, record.width, record.height);
    request.picture = record.mask;
    request.text = record.location;
    request.visible = record.visible;
    const ControlId control = m_windowSystem.createControl(request);
    m_objects.registerObject(record.name, control, u"BROWSER"_s, index);
    m_objects.browserTable[index].name = record.name;
    return;
  }
  if (kind == u"FORM") {
    const int index = m_objects.formTable.count();
    if (!m_objects.formTable.contains(index)) return;
    QString name = m_objects.formTable[index].name;
    m_objects.registerObject(name, 0, u"FORM"_s, index);
    m_objects.formTable[index].name = name;
  }
}

} // namespace nuv
