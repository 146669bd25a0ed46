// Object property references in value texts: Button1.CAPTION, Box1.TEXT, ...
#include "interpreter.h"

namespace nuv {

namespace {

Value text(const QString &s) {
  return Value(s);
}
Value number(int n) {
  return Value(qint32(n));
}
Value flag(bool b) {
  return Value(b);
}

// NAME, TOP, LEFT, WIDTH, HEIGHT and VISIBLE: every kind of control has them.
template <typename Record> Value commonField(const Record &r, QStringView word) {
  if (word == u"NAME") return text(r.name);
  if (word == u"TOP") return number(r.top);
  if (word == u"LEFT") return number(r.left);
  if (word == u"WIDTH") return number(r.width);
  if (word == u"HEIGHT") return number(r.height);
  if (word == u"VISIBLE") return flag(r.visible);
  return {};
}

Value buttonField(const ButtonRecord &b, QStringView word) {
  if (word == u"TYPE") return text(b.type);
  if (word == u"CAPTION") return text(b.caption);
  if (word == u"BITMAP") return text(b.bitmap);
  if (word == u"DOWNBITMAP") return text(b.downBitmap);
  if (word == u"OVERBITMAP") return text(b.overBitmap);
  if (word == u"SHAPED") return flag(b.shaped);
  return commonField(b, word);
}

Value inputBoxField(const InputBoxRecord &b, QStringView word) {
  if (word == u"TEXT") return text(b.text);
  return commonField(b, word);
}

Value browserField(const BrowserRecord &b, QStringView word) {
  if (word == u"TYPE") return text(b.type);
  if (word == u"MASK") return text(b.mask);
  if (word == u"LOCATION") return text(b.location);
  if (word == u"TARGETURL") return text(b.targetUrl);
  if (word == u"SHAPED") return flag(b.shaped);
  return commonField(b, word);
}

} // namespace

Value Interpreter::readProperty(QStringView textIn, int &pos) const {
  const QString name = getToken(textIn, pos).toUpper();
  const int entryIndex = m_objects.findObject(name);
  if (entryIndex < 0) return {};
  int wordPos = pos + int(name.size()) + 1;
  const QString word = getToken(textIn, wordPos).toUpper();
  const ObjectIndexEntry &entry = m_objects.objectIndex[entryIndex];
  const int r = entry.recordIndex;
  switch (entry.kind) {
  case ObjectKind::InputBox:
    return m_objects.inputBoxTable.contains(r) ? inputBoxField(m_objects.inputBoxTable[r], word)
                                               : Value{};
  case ObjectKind::Browser:
    return m_objects.browserTable.contains(r) ? browserField(m_objects.browserTable[r], word)
                                              : Value{};
  case ObjectKind::Form:
    return {};
  case ObjectKind::TextButton:
  case ObjectKind::TextPictureButton:
  case ObjectKind::PictureButton:
  case ObjectKind::ShapedButton:
    break;
  }
  return m_objects.buttonTable.contains(r) ? buttonField(m_objects.buttonTable[r], word) : Value{};
}

} // namespace nuv
