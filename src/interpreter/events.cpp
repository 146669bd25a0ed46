// The user's actions on the window's controls and the browsers' navigations: picture swaps and
// the stored event blocks.
#include "interpreter.h"

#include "resources.h"

#include <algorithm>
#include <optional>

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

void Interpreter::buttonPressed(int recordIndex, ControlId control) {
  if (!m_objects.buttonTable.contains(recordIndex)) return;
  const QString down = m_objects.buttonTable[recordIndex].downBitmap;
  if (down.isEmpty()) return;
  m_windowSystem.setControlPicture(control, resolved(down));
}

void Interpreter::buttonReleased(int recordIndex, ControlId control) {
  if (!m_objects.buttonTable.contains(recordIndex)) return;
  // Always back to the normal picture, whether or not a down picture was shown; a button
  // without a BITMAP keeps what it shows.
  const QString normal = m_objects.buttonTable[recordIndex].bitmap;
  if (normal.isEmpty()) return;
  m_windowSystem.setControlPicture(control, resolved(normal));
}

// A button leaving its hover state gets its normal picture back when it had an over picture.
void Interpreter::restoreHoveredPicture(int recordIndex, ControlId control) {
  if (!m_objects.buttonTable.contains(recordIndex)) return;
  const ButtonRecord &b = m_objects.buttonTable[recordIndex];
  if (b.overBitmap.isEmpty() || b.bitmap.isEmpty()) return;
  m_windowSystem.setControlPicture(control, resolved(b.bitmap));
}

void Interpreter::pointerOverButton(int recordIndex, ControlId control, bool graphical) {
  if (!m_objects.buttonTable.contains(recordIndex)) return;
  if (!graphical) {
    // Text buttons keep no hover state: their MOUSEOVER runs only when the pointer comes
    // straight from a hovered picture button.
    if (m_hoveredButton == -1) return;
    restoreHoveredPicture(m_hoveredButton, m_hoveredControl);
    m_hoveredButton = -1;
    runEventText(m_objects.buttonTable[recordIndex].onMouseOver);
    return;
  }
  if (m_hoveredButton == recordIndex) return; // MOUSEOVER runs once per entry
  const QString over = m_objects.buttonTable[recordIndex].overBitmap;
  if (!over.isEmpty()) m_windowSystem.setControlPicture(control, resolved(over));
  const int previous = m_hoveredButton;
  const ControlId previousControl = m_hoveredControl;
  // Mark the new button first: its MOUSEOVER block may let further events through.
  m_hoveredButton = recordIndex;
  m_hoveredControl = control;
  runEventText(m_objects.buttonTable[recordIndex].onMouseOver);
  if (previous != -1) restoreHoveredPicture(previous, previousControl);
}

void Interpreter::pointerOverBackground() {
  if (m_hoveredButton == -1) return;
  restoreHoveredPicture(m_hoveredButton, m_hoveredControl);
  m_hoveredButton = -1;
}

void Interpreter::inputBoxKey(int recordIndex, const QString &textBefore, bool enter) {
  if (!m_objects.inputBoxTable.contains(recordIndex)) return;
  m_objects.inputBoxTable[recordIndex].text = textBefore;
  if (enter) runEventText(m_objects.inputBoxTable[recordIndex].onChanged);
}

// The block sees the address through the browser's TARGETURL.
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
