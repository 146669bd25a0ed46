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
// is what documents rely on (an object named like a keyword gets the keyword). Each row also
// says what the statement takes, for the checker and the reference.
const Interpreter::Statement Interpreter::s_statements[] = {
    {{u"ALWAYSONTOP", u"TRUE or FALSE", u"TRUE", u"keeps the window above other windows"},
     &Interpreter::alwaysOnTop},
    {{u"RESTRICTMOVE", u"NONE, NOMOVE, HORIZONTALONLY or VERTICALONLY, or a NUV.RM constant",
      u"HORIZONTALONLY", u"how far a person may drag the window"},
     &Interpreter::restrictMove},
    {{u"SHOWINTASKBAR", u"TRUE or FALSE", u"FALSE", u"whether the window has a taskbar button"},
     &Interpreter::showInTaskbar},
    {{u"CLIPOBJECTS", u"TRUE or FALSE", u"FALSE",
      u"whether an alpha skin clips the objects to its shape"},
     &Interpreter::clipObjects},
    {{u"LOADINGIMAGE", u"SHAPED or nothing, then a quoted picture location", u"\"loading.png\"",
      u"the picture the next PRELOAD shows while it fetches"},
     &Interpreter::loadingImage},
    {{u"CACHELEVEL", u"0, 1 or 2", u"2",
      u"kept copies: 0 always downloads, 1 asks the server whether they changed, 2 uses them"},
     &Interpreter::cacheLevel},
    {{u"TITLE", u"a text value", u"\"My Skivet\"", u"the window's title"}, &Interpreter::title},
    {{u"PRELOAD",
      u"IMAGE or FILE and a location; IMAGES or FILES, then a location a line up to ENDPRELOAD",
      u"IMAGE \"skin.png\"", u"fetches into the cache ahead of use, behind the loading window"},
     &Interpreter::preload},
    {{u"EXIT", {}, {}, u"closes the window; the lines after it still run"}, &Interpreter::exit},
    {{u"MINIMIZE", {}, {}, u"minimizes the window"}, &Interpreter::minimize},
    {{u"SETMASKCOLOR", u"a colour number", u"RGB(255, 0, 255)",
      u"the colour that SETSHAPEBMP leaves out of a BITMAP's outline"},
     &Interpreter::setMaskColor},
    {{u"SETGLOBALCURSOR", u"a NUV.MP constant, a system pointer number or a quoted pointer file",
      u"NUV.MPHand", u"the pointer over the whole window"},
     &Interpreter::setCursor},
    {{u"SETFORMCURSOR", u"as SETGLOBALCURSOR", u"NUV.MPCross", u"the pointer over the background"},
     &Interpreter::setCursor},
    {{u"SETBUTTONCURSOR", u"as SETGLOBALCURSOR", u"NUV.MPHand", u"the pointer over every button"},
     &Interpreter::setCursor},
    {{u"SETTEXTBUTTONCURSOR", u"as SETGLOBALCURSOR", u"NUV.MPHand",
      u"the pointer over text buttons"},
     &Interpreter::setCursor},
    {{u"SETGRAPHBUTTONCURSOR", u"as SETGLOBALCURSOR", u"NUV.MPHand",
      u"the pointer over picture and shaped buttons"},
     &Interpreter::setCursor},
    {{u"SETINPUTBOXCURSOR", u"as SETGLOBALCURSOR", u"NUV.MPIBeam", u"the pointer over input boxes"},
     &Interpreter::setCursor},
    {{u"NEW", u"a quoted location, then placement options", u"\"other.nuv\" -x:10 -y:10",
      u"starts another engine on that location"},
     &Interpreter::newEngine},
    {{u"OBJECT", u"BUTTON, INPUTBOX, BROWSER or FORM", u"BUTTON", u"opens an object's block"},
     &Interpreter::openObject},
    {{u"ENDOBJECT", {}, {}, u"closes the block and makes the object"}, &Interpreter::closeObject},
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
      [keyword](const Statement &statement) { return statement.entry.word == keyword; });
}

std::vector<WordEntry> Interpreter::statementWords() {
  std::vector<WordEntry> words;
  for (const Statement &statement : s_statements)
    words.push_back(statement.entry);
  return words;
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
  while (!run.atEnd()) {
    const QStringView statement =
        trimmedView(withoutComment(trimmedView(run.nextLine()), u'#', u"\""));
    if (statement.isEmpty()) continue;
    run.line = statement;
    assignKeyword(run.keyword, statement);

    Handler handler = nullptr;
    for (const Statement &statement : s_statements) {
      // Sizes first: most keywords differ in length, and the size is known without a call.
      const QStringView word = statement.entry.word;
      if (word.size() == run.keyword.size() && word == run.keyword) {
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
