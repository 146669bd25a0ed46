// The user's actions on the window's controls and the browsers' navigations: picture swaps and
// the stored event blocks.
#include "interpreter.h"

#include "resources.h"

#include <algorithm>
#include <optional>
#include <utility>

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

} // namespace

// "+" is a space and "%XY" the character of code XY. The two characters after "%" are always
// consumed; as many as read as hex digits from the start give the code (0 when none), and a
// character made by decoding is never decoded again.
QString urlDecode(QStringView text) {
  QString out;
  out.reserve(text.size());
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c == u'+') {
      out += u' ';
      continue;
    }
    if (c != u'%') {
      out += c;
      continue;
    }
    int code = 0;
    const qsizetype end = std::min(i + 3, text.size());
    for (qsizetype j = i + 1; j < end; ++j) {
      const std::optional<int> digit = hexDigit(text[j]);
      if (!digit) break;
      code = code * 16 + *digit;
    }
    out += QChar(char16_t(code));
    i = end - 1;
  }
  return out;
}

void Interpreter::runEventText(QString text) {
  if (!text.isEmpty()) parseContent(text);
}

void Interpreter::buttonClicked(int recordIndex) {
  if (!m_objects.buttonTable.contains(recordIndex)) return;
  runEventText(m_objects.buttonTable[recordIndex].onClick);
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
    runEventText(m_objects.buttonTable[recordIndex].onMouseOver);
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
  runEventText(m_objects.buttonTable[recordIndex].onMouseOver);
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
  if (enter) runEventText(m_objects.inputBoxTable[recordIndex].onChanged);
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
  runEventText(m_objects.browserTable[recordIndex].onBeforeNavigate);
}

void Interpreter::afterNavigate(int recordIndex, const QString &url) {
  if (!m_objects.browserTable.contains(recordIndex)) return;
  m_objects.browserTable[recordIndex].location = url;
  runEventText(m_objects.browserTable[recordIndex].onAfterNavigate);
}

// Statements from a page: ";" outside quotes separates them, and only then are escapes decoded,
// so an encoded "%3B" stays inside its statement.
// Only the document's own pages and those it sent its browsers to may command it: any other
// page, one link away, could otherwise start engines or fill the disk.
void Interpreter::pageCommand(int recordIndex, const QString &origin, const QString &text) {
  if (!m_objects.browserTable.contains(recordIndex)) return;
  if (!m_pageOrigins.trusts(origin, m_resources.baseFolder())) {
    m_windowSystem.writeDiagnostic(u"NUV: command refused: the page's origin is not trusted: "_s +
                                   (origin.isEmpty() ? u"(unknown)"_s : origin));
    return;
  }
  ++m_pageCommandDepth;
  runEventText(urlDecode(splitStatements(text, u';', u"\"'")));
  --m_pageCommandDepth;
}

} // namespace nuv
