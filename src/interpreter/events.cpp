// The user's actions on the window's controls and the browsers' navigations: picture swaps and
// the stored event blocks.
#include "interpreter.h"

#include "resources.h"

#include <algorithm>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace nuv {

using namespace Qt::StringLiterals;

namespace {

std::optional<int> hexDigit(QChar c) {
  const char16_t u = c.unicode();
  if (u >= u'0' && u <= u'9') return u - u'0';
  if (u >= u'a' && u <= u'f') return u - u'a' + 10;
  if (u >= u'A' && u <= u'F') return u - u'A' + 10;
  return std::nullopt;
}

// The code point of the valid UTF-8 sequence that starts bytes, with its length; none for an
// overlong form, a surrogate, a code past U+10FFFF or a broken sequence.
struct Utf8Sequence {
  char32_t code = 0;
  int length = 0;
};

std::optional<Utf8Sequence> utf8SequenceAt(std::span<const quint8> bytes) {
  if (bytes.empty() || bytes[0] < 0xC2 || bytes[0] > 0xF4) return std::nullopt;
  const int length = bytes[0] < 0xE0 ? 2 : bytes[0] < 0xF0 ? 3 : 4;
  if (bytes.size() < size_t(length)) return std::nullopt;
  char32_t code = bytes[0] & (0x7F >> length);
  for (int i = 1; i < length; ++i) {
    if ((bytes[i] & 0xC0) != 0x80) return std::nullopt;
    code = (code << 6) | (bytes[i] & 0x3F);
  }
  static constexpr char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
    return std::nullopt;
  return Utf8Sequence{code, length};
}

// Bytes that escapes gave, one after another: valid UTF-8 sequences as their characters, any
// other byte as the character of its code.
void appendEscapedBytes(QString &out, std::span<const quint8> bytes) {
  for (size_t i = 0; i < bytes.size();) {
    if (const std::optional<Utf8Sequence> sequence = utf8SequenceAt(bytes.subspan(i))) {
      const char32_t code = sequence->code;
      out += QStringView(QChar::fromUcs4(code));
      i += size_t(sequence->length);
      continue;
    }
    out += QChar(char16_t(bytes[i]));
    ++i;
  }
}

} // namespace

// "+" is a space and "%XY" the byte of code XY. The two characters after "%" are always
// consumed; as many as read as hex digits from the start give the code (0 when none), and a
// character made by decoding is never decoded again. Escaped bytes next to each other that form
// UTF-8, as pages encode text, give its characters.
QString urlDecode(QStringView text) {
  QString out;
  out.reserve(text.size());
  std::vector<quint8> bytes;
  const auto flush = [&out, &bytes] {
    appendEscapedBytes(out, bytes);
    bytes.clear();
  };
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c != u'%') {
      flush();
      out += c == u'+' ? QChar(u' ') : c;
      continue;
    }
    int code = 0;
    const qsizetype end = std::min(i + 3, text.size());
    for (qsizetype j = i + 1; j < end; ++j) {
      const std::optional<int> digit = hexDigit(text[j]);
      if (!digit) break;
      code = code * 16 + *digit;
    }
    bytes.push_back(quint8(code));
    i = end - 1;
  }
  flush();
  return out;
}

void Interpreter::runEventText(QString text, bool onPageBehalf) {
  if (text.isEmpty()) return;
  if (onPageBehalf) ++m_pageRunDepth;
  parseContent(text);
  if (onPageBehalf) --m_pageRunDepth;
}

void Interpreter::buttonClicked(int recordIndex) {
  if (!m_objects.buttonTable.contains(recordIndex)) return;
  const ButtonRecord &b = m_objects.buttonTable[recordIndex];
  runEventText(b.onClick, b.declaredByPage);
}

Picture Interpreter::pictureAt(const QString &location) {
  if (location.isEmpty()) return nullptr;
  return m_resources.loadPicture(location);
}

quint64 Interpreter::askPicture(ControlId control) {
  const quint64 ticket = ++m_lastPictureTicket;
  m_pictureTickets[control] = ticket;
  return ticket;
}

bool Interpreter::givePicture(ControlId control, quint64 ticket, const Picture &picture) {
  if (m_pictureTickets.value(control) != ticket) return false;
  m_pictureTickets.remove(control);
  m_windowSystem.setControlPicture(control, picture);
  return true;
}

bool Interpreter::showControlPicture(ControlId control, const QString &location) {
  const quint64 ticket = askPicture(control);
  return givePicture(control, ticket, pictureAt(location));
}

// Swaps are runs: while a remote picture comes, a reload waits for them.
void Interpreter::buttonPressed(int recordIndex, ControlId control) {
  if (!m_objects.buttonTable.contains(recordIndex)) return;
  const QString down = m_objects.buttonTable[recordIndex].downBitmap;
  if (down.isEmpty()) return;
  const RunScope scope(*this);
  showControlPicture(control, resolved(down));
}

void Interpreter::buttonReleased(int recordIndex, ControlId control) {
  if (!m_objects.buttonTable.contains(recordIndex)) return;
  // Always back to the normal picture, whether or not a down picture was shown; a button
  // without a BITMAP keeps what it shows. Asked after the press, it wins over a down picture
  // that is still coming.
  const QString normal = m_objects.buttonTable[recordIndex].bitmap;
  if (normal.isEmpty()) return;
  const RunScope scope(*this);
  showControlPicture(control, resolved(normal));
}

// A button leaving its hover state gets its normal picture back when it had an over picture.
void Interpreter::restoreHoveredPicture(int recordIndex, ControlId control) {
  if (!m_objects.buttonTable.contains(recordIndex)) return;
  const ButtonRecord &b = m_objects.buttonTable[recordIndex];
  if (b.overBitmap.isEmpty() || b.bitmap.isEmpty()) return;
  showControlPicture(control, resolved(b.bitmap));
}

void Interpreter::pointerOverButton(int recordIndex, ControlId control, bool graphical) {
  if (!m_objects.buttonTable.contains(recordIndex)) return;
  const RunScope scope(*this);
  if (!graphical) {
    // Text buttons keep no hover state: their MOUSEOVER runs only when the pointer comes
    // straight from a hovered picture button.
    ++m_hoverTicket;
    m_hoverPending = -1;
    if (m_hoveredButton == -1) return;
    const int left = std::exchange(m_hoveredButton, -1);
    restoreHoveredPicture(left, m_hoveredControl);
    const ButtonRecord &b = m_objects.buttonTable[recordIndex];
    runEventText(b.onMouseOver, b.declaredByPage);
    return;
  }
  // MOUSEOVER runs once per entry; moves inside the button while its picture comes are the
  // same entry.
  if (m_hoveredButton == recordIndex || m_hoverPending == recordIndex) return;
  const quint64 ticket = ++m_hoverTicket;
  m_hoverPending = recordIndex;
  const QString over = m_objects.buttonTable[recordIndex].overBitmap;
  const quint64 pictureTicket = over.isEmpty() ? 0 : askPicture(control);
  const Picture picture = pictureAt(resolved(over));
  // The pointer went on elsewhere while the picture came: that entry is the one that counts.
  if (m_hoverTicket != ticket) return;
  m_hoverPending = -1;
  if (!over.isEmpty()) givePicture(control, pictureTicket, picture);
  const int previous = m_hoveredButton;
  const ControlId previousControl = m_hoveredControl;
  // The new button is marked first: its MOUSEOVER block may let further events through.
  m_hoveredButton = recordIndex;
  m_hoveredControl = control;
  const ButtonRecord &b = m_objects.buttonTable[recordIndex];
  runEventText(b.onMouseOver, b.declaredByPage);
  if (previous != -1 && previous != recordIndex) restoreHoveredPicture(previous, previousControl);
}

void Interpreter::pointerOverBackground() {
  ++m_hoverTicket;
  m_hoverPending = -1;
  if (m_hoveredButton == -1) return;
  const RunScope scope(*this);
  const int left = std::exchange(m_hoveredButton, -1);
  restoreHoveredPicture(left, m_hoveredControl);
}

// The picture the button shows now: its over picture while it is hovered, else its normal one.
void Interpreter::pictureWanted(int recordIndex, ControlId control) {
  if (!m_objects.buttonTable.contains(recordIndex)) return;
  const ButtonRecord &b = m_objects.buttonTable[recordIndex];
  const bool over = m_hoveredButton == recordIndex && !b.overBitmap.isEmpty();
  const QString shown = over ? b.overBitmap : b.bitmap;
  if (shown.isEmpty()) return;
  const RunScope scope(*this);
  showControlPicture(control, resolved(shown));
}

void Interpreter::inputBoxKey(int recordIndex, const QString &textBefore, bool enter) {
  if (!m_objects.inputBoxTable.contains(recordIndex)) return;
  m_objects.inputBoxTable[recordIndex].text = textBefore;
  const InputBoxRecord &box = m_objects.inputBoxTable[recordIndex];
  if (enter) runEventText(box.onChanged, box.declaredByPage);
}

// Inside the web engine's callback: recorded only, so a property read sees it at once.
void Interpreter::navigationRequested(int recordIndex, const QString &url) {
  if (m_objects.browserTable.contains(recordIndex))
    m_objects.browserTable[recordIndex].targetUrl = url;
}

void Interpreter::navigationFinished(int recordIndex, const QString &url) {
  if (m_objects.browserTable.contains(recordIndex))
    m_objects.browserTable[recordIndex].location = url;
}

// The block sees its own navigation's address through the browser's TARGETURL, also when
// later navigations were recorded before it ran.
void Interpreter::beforeNavigate(int recordIndex, const QString &url) {
  if (!m_objects.browserTable.contains(recordIndex)) return;
  m_objects.browserTable[recordIndex].targetUrl = url;
  const BrowserRecord &b = m_objects.browserTable[recordIndex];
  runEventText(b.onBeforeNavigate, b.declaredByPage);
}

void Interpreter::afterNavigate(int recordIndex, const QString &url) {
  if (!m_objects.browserTable.contains(recordIndex)) return;
  m_objects.browserTable[recordIndex].location = url;
  const BrowserRecord &b = m_objects.browserTable[recordIndex];
  runEventText(b.onAfterNavigate, b.declaredByPage);
}

// Statements from a page: ";" outside quotes separates them, and only then are escapes decoded,
// so an encoded "%3B" stays inside its statement.
// Only the document's own pages and those it sent its browsers to may command it: any other
// page, one link away, could otherwise start engines or fill the disk.
void Interpreter::pageCommand(int recordIndex, const QString &origin, const QString &text) {
  if (!m_objects.browserTable.contains(recordIndex)) return;
  if (!m_pageOrigins.trusts(origin, m_resources.baseFolder())) {
    if (const std::optional<QString> line = m_refusals.refuse(origin, m_clock()))
      m_windowSystem.writeDiagnostic(*line);
    return;
  }
  runEventText(urlDecode(splitStatements(text, u';', u"\"'")), /*onPageBehalf=*/true);
}

} // namespace nuv
