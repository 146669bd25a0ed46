// Window directives: single-line statements that set how the window behaves as a whole.
#include "interpreter.h"

#include "arguments.h"
#include "resources.h"
#include "run.h"

#include <algorithm>
#include <iterator>

namespace nuv {

using namespace Qt::StringLiterals;

void Interpreter::alwaysOnTop(Run &run) {
  m_windowSystem.setAlwaysOnTop(m_evaluator.booleanValue(run.line, 13));
}

void Interpreter::restrictMove(Run &run) {
  QString mode = trimBlanks(m_evaluator.longValue(run.line, 14));
  if (mode == u"0") {
    int pos = 14;
    mode = getToken(run.line, pos).toUpper();
  }
  for (int i = 0; i < int(std::size(m_restrictModes)); ++i) {
    if (mode == m_restrictModes[i].word || mode == m_restrictModes[i].value) {
      m_settings.restrictMove = i;
      m_windowSystem.setMoveRestriction(i);
      return;
    }
  }
}

void Interpreter::showInTaskbar(Run &run) {
  m_settings.showInTaskbar = m_evaluator.booleanValue(run.line, 15);
  m_windowSystem.setShowInTaskbar(m_settings.showInTaskbar);
}

void Interpreter::clipObjects(Run &run) {
  m_settings.clipObjects = m_evaluator.booleanValue(run.line, 13);
  if (m_settings.skinState == 2) m_windowSystem.setClipObjectsVisible(m_settings.clipObjects);
}

void Interpreter::loadingImage(Run &run) {
  m_windowSystem.closeLoadingWindow();
  int pos = 14;
  if (upperCaseIs(tokenView(run.line, pos), u"SHAPED")) m_settings.loadingImageShaped = true;
  m_settings.loadingImage = quotedString(run.line, 14);
}

void Interpreter::cacheLevel(Run &run) {
  m_settings.cacheLevel = roundHalfEven(m_evaluator.longValueNumber(run.line, 12));
  if (m_resources != nullptr) m_resources->setCacheLevel(m_settings.cacheLevel);
}

void Interpreter::title(Run &run) {
  m_windowSystem.setTitle(m_evaluator.stringValue(run.line, 7));
}

void Interpreter::exit(Run &) {
  // The run goes on: lines after EXIT still execute.
  m_windowSystem.closeLoadingWindow();
  m_windowSystem.closeMainWindow();
}

void Interpreter::minimize(Run &) {
  m_windowSystem.setShowInTaskbar(true);
  m_windowSystem.minimize();
}

void Interpreter::setMaskColor(Run &run) {
  // Values outside 0..2^24-1 have no byte split; clamp rather than wrap into a random colour.
  const double value = m_evaluator.longValueNumber(run.line, 14);
  const qint32 colour = std::clamp(roundHalfEven(value), 0, 0xFFFFFF);
  m_settings.maskBlue = colour / 65536;
  m_settings.maskGreen = (colour % 65536) / 256;
  m_settings.maskRed = colour % 256;
  m_windowSystem.setMaskColor(m_settings.maskRed, m_settings.maskGreen, m_settings.maskBlue);
}

void Interpreter::newEngine(Run &run) {
  QString location = quotedString(run.line, 5);
  const QString extra = restFrom(run.line, int(location.size()) + 7).toString();
  if (m_resources != nullptr) location = m_resources->resolveLocation(location);
  const QPoint origin = m_windowSystem.mainWindowPosition();
  QStringList arguments{location, u"-ox:"_s + QString::number(origin.x()),
                        u"-oy:"_s + QString::number(origin.y())};
  arguments += cutArguments(extra);
  m_windowSystem.startProcess(m_programPath, arguments);
}

void Interpreter::setCursor(Run &) {
  // Pointers come with the cursor support; until then the directive is recognised and ignored.
}

} // namespace nuv
