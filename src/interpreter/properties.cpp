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

// The member a word reads on an object of this kind; nullptr for none.
const MemberWord *readable(BlockKind kind, QStringView word) {
  return findMember(kindWords(kind), word, Readable);
}

// NAME, TOP, LEFT, WIDTH, HEIGHT and VISIBLE: every kind of control has them.
template <typename Record> Value commonField(const Record &r, Member member) {
  switch (member) {
  case Member::Name:
    return text(r.name);
  case Member::Top:
    return number(r.top);
  case Member::Left:
    return number(r.left);
  case Member::Width:
    return number(r.width);
  case Member::Height:
    return number(r.height);
  case Member::Visible:
    return flag(r.visible);
  default:
    return {};
  }
}

Value buttonField(const ButtonRecord &b, QStringView word) {
  const MemberWord *m = readable(BlockKind::Button, word);
  if (m == nullptr) return {};
  switch (m->member) {
  case Member::Type:
    return text(b.type);
  case Member::Caption:
    return text(b.caption);
  case Member::Bitmap:
    return text(b.bitmap);
  case Member::DownBitmap:
    return text(b.downBitmap);
  case Member::OverBitmap:
    return text(b.overBitmap);
  case Member::Shaped:
    return flag(b.shaped);
  default:
    return commonField(b, m->member);
  }
}

Value inputBoxField(const InputBoxRecord &b, QStringView word) {
  const MemberWord *m = readable(BlockKind::InputBox, word);
  if (m == nullptr) return {};
  if (m->member == Member::Text) return text(b.text);
  return commonField(b, m->member);
}

Value browserField(const BrowserRecord &b, QStringView word) {
  const MemberWord *m = readable(BlockKind::Browser, word);
  if (m == nullptr) return {};
  switch (m->member) {
  case Member::Type:
    return text(b.type);
  case Member::Mask:
    return text(b.mask);
  case Member::Location:
    return text(b.location);
  case Member::TargetUrl:
    return text(b.targetUrl);
  case Member::Shaped:
    return flag(b.shaped);
  default:
    return commonField(b, m->member);
  }
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
