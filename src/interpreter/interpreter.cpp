// The statement loop: preparation, dispatch by keyword, block states and the end-of-run step.
#include "interpreter.h"

#include "resources.h"
#include "run.h"

#include <QElapsedTimer>

#include <algorithm>
#include <iterator>

namespace nuv {

using namespace Qt::StringLiterals;

// One table in dispatch order: the first matching keyword wins, and the order
// is what documents rely on (an object named like a keyword gets the keyword).
const Interpreter::Statement Interpreter::s_statements[] = {
    {u"ALWAYSONTOP", &Interpreter::alwaysOnTop},
    {u"RESTRICTMOVE", &Interpreter::restrictMove},
    {u"SHOWINTASKBAR", &Interpreter::showInTaskbar},
    {u"CLIPOBJECTS", &Interpreter::clipObjects},
    {u"LOADINGIMAGE", &Interpreter::loadingImage},
    {u"CACHELEVEL", &Interpreter::cacheLevel},
    {u"TITLE", &Interpreter::title},
    {u"PRELOAD", &Interpreter::preload},
    {u"EXIT", &Interpreter::exit},
    {u"MINIMIZE", &Interpreter::minimize},
    {u"SETMASKCOLOR", &Interpreter::setMaskColor},
    {u"SETGLOBALCURSOR", &Interpreter::setCursor},
    {u"SETFORMCURSOR", &Interpreter::setCursor},
    {u"SETBUTTONCURSOR", &Interpreter::setCursor},
    {u"SETTEXTBUTTONCURSOR", &Interpreter::setCursor},
    {u"SETGRAPHBUTTONCURSOR", &Interpreter::setCursor},
    {u"SETINPUTBOXCURSOR", &Interpreter::setCursor},
    {u"NEW", &Interpreter::newEngine},
    {u"OBJECT", &Interpreter::openObject},
    {u"ENDOBJECT", &Interpreter::closeObject},
};

Interpreter::Interpreter(WindowSystem &windowSystem, DocumentResources &resources)
    : m_windowSystem(windowSystem), m_resources(resources), m_evaluator(m_store, this) {
  registerConstants(m_store);
  const QString words[] = {u"NONE"_s, u"NOMOVE"_s, u"HORIZONTALONLY"_s, u"VERTICALONLY"_s};
  const QString constants[] = {u"NUV.RMNone"_s, u"NUV.RMNoMove"_s, u"NUV.RMHorizontalOnly"_s,
                               u"NUV.RMVerticalOnly"_s};
  for (int i = 0; i < 4; ++i)
    m_restrictModes[i] = {words[i], toText(m_store.getValue(constants[i])), constants[i].toUpper()};
  QElapsedTimer sinceStart;
  sinceStart.start();
  m_clock = [sinceStart] { return sinceStart.elapsed(); };
}

bool Interpreter::isStatementKeyword(QStringView keyword) {
  return std::any_of(
      std::begin(s_statements), std::end(s_statements),
      [keyword](const Statement &statement) { return statement.keyword == keyword; });
}

// Copies into the target's own buffer, which a run reuses line after line without allocating.
static void assignText(QString &target, QStringView source) {
  target.resize(source.size());
  std::copy(source.begin(), source.end(), target.begin());
}

// The first token, upper-cased; keywords are ASCII, so most lines need no Unicode case mapping.
static void assignKeyword(QString &keyword, QStringView statement) {
  int pos = 1;
  const QStringView token = tokenView(statement, pos);
  assignText(keyword, token);
  for (QChar &c : keyword) {
    const char16_t u = c.unicode();
    if (u >= 0x80) {
      keyword = token.toString().toUpper();
      return;
    }
    if (u >= u'a' && u <= u'z') c = QChar(u - (u'a' - u'A'));
  }
}

void Interpreter::parseContent(QString &text) {
  ++m_runDepth;
  prepareTextInPlace(text);
  Run run(text);
  for (run.lineIndex = 1; run.lineIndex <= run.lineCount(); ++run.lineIndex) {
    const QStringView statement =
        trimmedView(withoutComment(trimmedView(run.lines.line(run.lineIndex)), u'#', u"\""));
    if (statement.isEmpty()) continue;
    run.line = statement;
    assignKeyword(run.keyword, statement);

    Handler handler = nullptr;
    for (const Statement &statement : s_statements) {
      // Sizes first: most keywords differ in length, and the size is known without a call.
      if (statement.keyword.size() == run.keyword.size() && statement.keyword == run.keyword) {
        handler = statement.handler;
        break;
      }
    }
    if (handler == nullptr)
      handler = run.openBlock != BlockKind::None ? &Interpreter::propertyLine
                                                 : &Interpreter::objectCommand;
    (this->*handler)(run);
  }
  endOfRun(run);
  --m_runDepth;
}

void Interpreter::resetDocument() {
  Q_ASSERT_X(m_runDepth == 0, "resetDocument", "the tables are in use by a run");
  m_objects.reset();
  m_settings = WindowSettings();
  m_resources.setCacheLevel(m_settings.cacheLevel);
  m_hoveredButton = -1;
  m_hoveredControl = 0;
  m_hoverPending = -1;
  m_pictureTickets.clear();
  // What the old version trusted is no promise of the new one's.
  m_pageOrigins = PageOrigins();
}

// A BITMAP that no SETSHAPEBMP applied shows as a plain rectangular picture.
void Interpreter::endOfRun(Run &run) {
  if (run.pendingSkinBitmap.isEmpty() || run.skinApplied) return;
  applySkin(run.pendingSkinBitmap, QString(), false);
}

// The pictures come first, so that the window system is asked only once they are there. The
// bitmap stands in only for an alpha picture that cannot be had, so it is fetched only then.
void Interpreter::applySkin(const QString &bitmap, const QString &alphaBitmap, bool shape) {
  SkinRequest skin;
  if (!alphaBitmap.isEmpty()) skin.alphaBitmap = pictureAt(resolved(alphaBitmap));
  if (!bitmap.isEmpty())
    skin.bitmap = skin.alphaBitmap && *skin.alphaBitmap ? nullptr : pictureAt(resolved(bitmap));
  skin.maskColor = m_settings.maskColor;
  skin.clipObjects = m_settings.clipObjects;
  skin.shape = shape;
  m_settings.skin = m_windowSystem.applySkin(skin);
}

void Interpreter::showParseError(const QString &line, const QString &reason) {
  m_windowSystem.showMessage(u"Parse Error"_s, line + u"\n\n"_s + reason, MessageIcon::Exclamation);
}

} // namespace nuv
