// The user's actions on the window's controls: picture swaps and the stored event blocks.
#include "interpreter.h"

#include "resources.h"

namespace nuv {

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
  m_windowSystem.setControlPicture(
      control, m_resources != nullptr ? m_resources->resolveLocation(down) : down);
}

void Interpreter::buttonReleased(int recordIndex, ControlId control) {
  if (!m_objects.buttonTable.contains(recordIndex)) return;
  // Always back to the normal picture, whether or not a down picture was shown; a button
  // without a BITMAP keeps what it shows.
  const QString normal = m_objects.buttonTable[recordIndex].bitmap;
  if (normal.isEmpty()) return;
  m_windowSystem.setControlPicture(
      control, m_resources != nullptr ? m_resources->resolveLocation(normal) : normal);
}

// A button leaving its hover state gets its normal picture back when it had an over picture.
void Interpreter::restoreHoveredPicture(int recordIndex, ControlId control) {
  if (!m_objects.buttonTable.contains(recordIndex)) return;
  const ButtonRecord &b = m_objects.buttonTable[recordIndex];
  if (b.overBitmap.isEmpty() || b.bitmap.isEmpty()) return;
  m_windowSystem.setControlPicture(
      control, m_resources != nullptr ? m_resources->resolveLocation(b.bitmap) : b.bitmap);
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
  if (!over.isEmpty())
    m_windowSystem.setControlPicture(
        control, m_resources != nullptr ? m_resources->resolveLocation(over) : over);
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

} // namespace nuv
