// Window directives: single-line statements that set how the window behaves as a whole.
#include "interpreter.h"

#include "arguments.h"
#include "resources.h"
#include "run.h"

#include <algorithm>
#include <initializer_list>
#include <iterator>

namespace nuv {

using namespace Qt::StringLiterals;

void Interpreter::alwaysOnTop(Run &run) {
  m_windowSystem.setAlwaysOnTop(m_evaluator.booleanValue(run.line, operandPosition(run.keyword)));
}

void Interpreter::restrictMove(Run &run) {
  QString mode = trimBlanks(m_evaluator.longValue(run.line, operandPosition(run.keyword)));
  if (mode == u"0") {
    int pos = operandPosition(run.keyword);
    mode = getToken(run.line, pos).toUpper();
    // The free mode's constant reads as 0, like a word that names nothing, and its first token
    // is only "NUV": the whole operand tells it apart.
    const QString operand =
        trimmedView(restFrom(run.line, operandPosition(run.keyword))).toString().toUpper();
    if (operand == m_restrictModes[0].constant) mode = m_restrictModes[0].word;
  }
  for (int i = 0; i < int(std::size(m_restrictModes)); ++i) {
    if (mode == m_restrictModes[i].word || mode == m_restrictModes[i].value) {
      m_settings.restrictMove = MoveRestriction(i);
      m_windowSystem.setMoveRestriction(m_settings.restrictMove);
      return;
    }
  }
}

void Interpreter::showInTaskbar(Run &run) {
  m_settings.showInTaskbar = m_evaluator.booleanValue(run.line, operandPosition(run.keyword));
  m_windowSystem.setShowInTaskbar(m_settings.showInTaskbar);
}

void Interpreter::clipObjects(Run &run) {
  m_settings.clipObjects = m_evaluator.booleanValue(run.line, operandPosition(run.keyword));
  // Other skins read the flag when they are next applied.
  if (m_settings.skin == SkinKind::Alpha) m_windowSystem.setClipObjects(m_settings.clipObjects);
}

// The settings travel with the next PRELOAD's showLoadingWindow; a loading window that shows
// now (a nested run during a preload) goes away.
void Interpreter::loadingImage(Run &run) {
  m_windowSystem.hideLoadingWindow();
  int pos = operandPosition(run.keyword);
  if (upperCaseIs(tokenView(run.line, pos), u"SHAPED")) m_settings.loadingImageShaped = true;
  m_settings.loadingImage = quotedString(run.line, operandPosition(run.keyword));
}

void Interpreter::cacheLevel(Run &run) {
  m_settings.cacheLevel =
      roundHalfEven(m_evaluator.longValueNumber(run.line, operandPosition(run.keyword)));
  m_resources.setCacheLevel(m_settings.cacheLevel);
}

void Interpreter::title(Run &run) {
  m_windowSystem.setTitle(m_evaluator.stringValue(run.line, operandPosition(run.keyword)));
}

void Interpreter::exit(Run &) {
  // The run goes on: lines after EXIT still execute. Transfers end now, so that neither they nor
  // any a later line asks for keep the process after its window.
  m_exited = true;
  m_resources.endTransfers();
  m_windowSystem.hideLoadingWindow();
  m_windowSystem.closeMainWindow();
}

void Interpreter::minimize(Run &) {
  m_windowSystem.minimize();
}

void Interpreter::setMaskColor(Run &run) {
  // Values outside 0..2^24-1 have no byte split; clamp rather than wrap into a random colour.
  const double value = m_evaluator.longValueNumber(run.line, operandPosition(run.keyword));
  const qint32 colour = std::clamp(roundHalfEven(value), 0, 0xFFFFFF);
  // Skins applied from now on take it; one that shows already keeps its colour key.
  m_settings.maskColor = {colour % 256, (colour % 65536) / 256, colour / 65536};
}

void Interpreter::newEngine(Run &run) {
  QString location = quotedString(run.line, operandPosition(run.keyword));
  // The extra arguments start after the closing quote: the operand, two quotes and no blank.
  const QString extra =
      restFrom(run.line, operandPosition(run.keyword) + int(location.size()) + 2).toString();
  location = m_resources.resolveLocation(location);
  if (!m_resources.mayStart(location)) {
    m_windowSystem.writeDiagnostic(u"NEW \""_s + location +
                                   u"\" refused: a Skivet from the network may start only "
                                   u"network locations"_s);
    return;
  }
  if (const QString refusal = newRefusal(); !refusal.isEmpty()) {
    m_windowSystem.writeDiagnostic(u"NEW \""_s + location + u"\" refused: "_s + refusal);
    return;
  }
  // The new engine costs one; of the rest it takes half, for the engines it may start in turn.
  // Whatever the split, no chain passes its budget.
  const int share = (m_newBudget - 1) / 2;
  m_newBudget -= 1 + share;
  // Documents and pages are untrusted: only options that place the window pass on.
  QStringList placement;
  for (const QString &argument : cutArguments(extra))
    if (isPlacementOption(argument)) placement += argument;
  // The new engine counts from where this window shows, which the first run may still change.
  m_windowSystem.whenPlaced([this, location, placement, share] {
    const QPoint origin = m_windowSystem.mainWindowPlacement();
    const QStringList arguments = QStringList{location, u"-ox:"_s + QString::number(origin.x()),
                                              u"-oy:"_s + QString::number(origin.y())} +
                                  placement;
    const QStringList environment{
        QLatin1StringView(newDepthVariable) + u'=' + QString::number(m_newDepth + 1),
        QLatin1StringView(newBudgetVariable) + u'=' + QString::number(share)};
    m_windowSystem.startProcess(m_programPath, arguments, environment);
  });
}

QString Interpreter::newRefusal() {
  if (m_newDepth >= maxNewDepth)
    return u"this engine was started by %1 NEW in a row, the most allowed"_s.arg(m_newDepth);
  if (m_newBudget <= 0)
    return u"this engine's share of the %1 engines a chain of NEW may have is spent"_s.arg(
        maxChainEngines);
  const qint64 now = m_clock();
  while (!m_newStarts.empty() && now - m_newStarts.front() >= 1000)
    m_newStarts.pop_front();
  if (int(m_newStarts.size()) >= maxNewPerSecond)
    return u"more than %1 NEW in one second"_s.arg(maxNewPerSecond);
  m_newStarts.push_back(now);
  return {};
}

namespace {

// The targets of each pointer statement, in the order they are set.
const struct {
  QStringView keyword;
  std::initializer_list<PointerTarget> targets;
} pointerStatements[] = {
    {u"SETGLOBALCURSOR",
     {PointerTarget::Form, PointerTarget::GraphButtons, PointerTarget::TextButtons,
      PointerTarget::InputBoxes}},
    {u"SETFORMCURSOR", {PointerTarget::Form}},
    {u"SETBUTTONCURSOR", {PointerTarget::GraphButtons, PointerTarget::TextButtons}},
    {u"SETTEXTBUTTONCURSOR", {PointerTarget::TextButtons}},
    {u"SETGRAPHBUTTONCURSOR", {PointerTarget::GraphButtons}},
    {u"SETINPUTBOXCURSOR", {PointerTarget::InputBoxes}},
};

} // namespace

// A number names a system pointer, anything else a pointer file; the empty value restores each
// target's own pointer. A pointer that cannot be had leaves every target as it was.
void Interpreter::setCursor(Run &run) {
  const auto *statement = std::find_if(std::begin(pointerStatements), std::end(pointerStatements),
                                       [&](const auto &s) { return s.keyword == run.keyword; });
  if (statement == std::end(pointerStatements)) return;
  const QString value = m_evaluator.stringValue(run.line, operandPosition(run.keyword));
  Pointer pointer;
  if (isNumberText(value)) {
    const double id = leadingNumber(value);
    // Beyond the identifiers' range: no system pointer.
    if (id < 1 || id > 0x7FFFFFFF) return;
    pointer.systemId = int(id);
  } else if (!value.isEmpty()) {
    // Fetched once for all the statement's targets.
    pointer.picture = m_resources.loadPointer(value);
    if (!pointer.picture) return;
  }
  for (const PointerTarget target : statement->targets)
    m_windowSystem.setPointer(target, pointer);
}

} // namespace nuv
