// parseContent: the statement loop that runs document text, event blocks and "NUV:" commands.
#pragma once

#include "expressions.h"
#include "objectmodel.h"
#include "pageorigins.h"
#include "text.h"
#include "valuestore.h"
#include "vocabulary.h"
#include "windowsystem.h"

#include <QHash>
#include <QString>

#include <algorithm>
#include <deque>
#include <functional>
#include <vector>

namespace nuv {

class DocumentResources;

// The environment variables that tell an engine started by NEW its depth and its budget.
inline constexpr char newDepthVariable[] = "NUV_NEW_DEPTH";
inline constexpr char newBudgetVariable[] = "NUV_NEW_BUDGET";

// The command text of a "NUV:" address with its escapes decoded.
QString urlDecode(QStringView text);

// An EVENT block name and the record field that stores its text.
template <typename Record> struct EventField {
  QStringView name;
  QString Record::*field;
};

// Window-wide values that directives set and outlive every run.
struct WindowSettings {
  MoveRestriction restrictMove = MoveRestriction::Free;
  bool showInTaskbar = true;
  bool clipObjects = true;
  QString loadingImage;
  bool loadingImageShaped = false;
  int cacheLevel = 1;
  MaskColor maskColor;
  SkinKind skin = SkinKind::Plain; // what the window system last reported applying
};

class Interpreter : public PropertyReader, public ControlEvents {
public:
  Interpreter(WindowSystem &windowSystem, DocumentResources &resources);

  // Runs a text. The text is prepared in place (TABs to blanks, LF line ends,
  // no empty lines); preparing twice gives the same text.
  void parseContent(QString &text);

  void showParseError(const QString &line, const QString &reason);

  // Forgets every object and window-wide setting, as before a document's first run, so that
  // the document can run afresh. Never while a run is going on (see isRunning).
  void resetDocument();
  // A run has started and not ended: it may be waiting for a transfer, with the event loop
  // turning under it.
  bool isRunning() const { return m_runDepth > 0; }

  // One of the statements recognised everywhere, even inside object blocks; upper case.
  static bool isStatementKeyword(QStringView keyword);
  // The statements in dispatch order, with what each takes.
  static std::vector<WordEntry> statementWords();

  ValueStore &valueStore() { return m_store; }
  ObjectModel &objects() { return m_objects; }
  const ObjectModel &objects() const { return m_objects; }
  WindowSettings &settings() { return m_settings; }
  const Evaluator &evaluator() const { return m_evaluator; }
  // The engine's own binary, started again by NEW.
  void setProgramPath(const QString &path) { m_programPath = path; }
  // How many NEW separate this engine from one a person started (0 for that one). It reaches a
  // new engine only through its environment (newDepthVariable), never through arguments that
  // a document could write.
  void setNewDepth(int depth) { m_newDepth = std::max(depth, 0); }
  // How many engines this one may still start, directly or through the ones it starts. It
  // reaches a new engine the same way (newBudgetVariable); a person's engine starts with
  // maxChainEngines - 1, so the engines of one chain stay within maxChainEngines.
  void setNewBudget(int budget) { m_newBudget = std::max(budget, 0); }
  // Milliseconds from a steady clock, for NEW's rate bound; tests replace it.
  void setClock(std::function<qint64()> clock) { m_clock = std::move(clock); }
  // A document that starts itself would start engines without end: NEW is refused in an engine
  // this deep, past this many within one second, and once the budget is spent. A document with
  // three NEW lines would otherwise make 3 + 9 + ... + 3^8 engines within the other two bounds.
  static constexpr int maxNewDepth = 8;
  static constexpr int maxNewPerSecond = 5;
  static constexpr int maxChainEngines = 16;
  // Each browser is a web page with a renderer of its own: 100 of them started over a hundred
  // web engine processes and about 1 GB. Browsers past this many keep their records only.
  static constexpr int maxBrowsers = 16;

  Value readProperty(QStringView text, int &pos) const override;

  // The user's actions on the controls: swap pictures and run the stored event blocks.
  void buttonClicked(int recordIndex) override;
  void buttonPressed(int recordIndex, ControlId control) override;
  void buttonReleased(int recordIndex, ControlId control) override;
  void pointerOverButton(int recordIndex, ControlId control, bool graphical) override;
  void pointerOverBackground() override;
  void pictureWanted(int recordIndex, ControlId control) override;
  void inputBoxKey(int recordIndex, const QString &textBefore, bool enter) override;
  void navigationRequested(int recordIndex, const QString &url) override;
  void navigationFinished(int recordIndex, const QString &url) override;
  void beforeNavigate(int recordIndex, const QString &url) override;
  void afterNavigate(int recordIndex, const QString &url) override;
  void pageCommand(int recordIndex, const QString &origin, const QString &text) override;
  // The button whose over picture shows, -1 for none.
  int hoveredButton() const { return m_hoveredButton; }

private:
  struct Run;
  // Marks a stretch that may wait and uses the tables as a run: a reload waits for it.
  class RunScope {
  public:
    explicit RunScope(Interpreter &interpreter) : m_interpreter(interpreter) {
      ++m_interpreter.m_runDepth;
    }
    ~RunScope() { --m_interpreter.m_runDepth; }
    RunScope(const RunScope &) = delete;
    RunScope &operator=(const RunScope &) = delete;

  private:
    Interpreter &m_interpreter;
  };
  using Handler = void (Interpreter::*)(Run &);
  struct Statement {
    WordEntry entry;
    Handler handler;
  };
  static const Statement s_statements[];

  // Directives that shape the window as a whole.
  void alwaysOnTop(Run &run);
  void restrictMove(Run &run);
  void showInTaskbar(Run &run);
  void clipObjects(Run &run);
  void loadingImage(Run &run);
  void cacheLevel(Run &run);
  void title(Run &run);
  void exit(Run &run);
  void minimize(Run &run);
  void setMaskColor(Run &run);
  void newEngine(Run &run);
  // Why a NEW may not start an engine now; empty when it may.
  QString newRefusal();
  void setCursor(Run &run);

  // Preloading into the cache.
  void preload(Run &run);
  void preloadList(Run &run, bool images);

  // Object blocks: one open, property and close step per kind of block.
  void openObject(Run &run);
  void closeObject(Run &run);
  void propertyLine(Run &run);
  void buttonProperty(Run &run);
  void inputBoxProperty(Run &run);
  void browserProperty(Run &run);
  void closeButton();
  void closeInputBox();
  void closeBrowser();
  void keepUnshownBrowser(BrowserRecord &record, int index);
  void closeForm();
  // An EVENT line: reads the block and stores it in the field its name selects, if any.
  template <typename Record, size_t N>
  void eventBlock(Run &run, RecordTable<Record> &table, const EventField<Record> (&fields)[N]);
  QString readEventBlock(Run &run);

  // Commands on named objects.
  struct CommandTarget {
    int entry;       // in objectIndex
    int recordIndex; // in the kind's table
  };
  void objectCommand(Run &run);
  // The FORM statements, from a FORM block (NAME allowed) or as commands at run time.
  void formStatement(Run &run, const MemberWord &command, QStringView text);
  void browserCommand(const CommandTarget &target, const MemberWord &command, QStringView rest);
  void buttonCommand(const CommandTarget &target, const MemberWord &command, QStringView rest);
  void inputBoxCommand(const CommandTarget &target, const MemberWord &command, QStringView rest);
  template <typename Record>
  bool placementCommand(RecordTable<Record> &table, int r, ControlId control,
                        const MemberWord &command, QStringView rest);
  // A position or size in pixels read from a command's value.
  int pixelValue(QStringView rest, QStringView command) const;

  // Runs an event block from a copy: the block may declare objects and grow the tables. What
  // runs on a page's behalf trusts no address and marks what it declares as the page's.
  void runEventText(QString text, bool onPageBehalf);
  // A resolved location; empty stays empty.
  QString resolved(const QString &location) const;
  // A browser's address: resolved, and a local path as a "file:" address.
  QString resolvedBrowserAddress(const QString &location) const;
  // Addresses the document gives its browsers become trusted senders of page commands; those
  // that pages give, through their commands or the blocks those declared, do not.
  void trustBrowserAddress(const QString &address);
  void restoreHoveredPicture(int recordIndex, ControlId control);
  // The picture of a resolved location (null for an empty one); may wait for a transfer.
  Picture pictureAt(const QString &location);
  // Shows a picture on a control once it has come. While it comes, other events run; a later
  // change of the same control's picture wins, so this one is then dropped (false).
  bool showControlPicture(ControlId control, const QString &location);
  // The two halves of the above: a ticket taken before waiting, and the picture shown after
  // when the ticket is still the control's newest.
  quint64 askPicture(ControlId control);
  bool givePicture(ControlId control, quint64 ticket, const Picture &picture);

  void endOfRun(Run &run);
  // Paths as the document wrote them; what was applied goes into the settings.
  void applySkin(const QString &bitmap, const QString &alphaBitmap, bool shape);

  int m_preloadDepth = 0; // PRELOAD statements running, nested ones included
  int m_runDepth = 0;
  bool m_exited = false; // EXIT ran: the window is gone
  int m_hoveredButton = -1;
  ControlId m_hoveredControl = 0;
  // A pointer entry whose over picture is still coming, and the newest entry of all: an entry
  // older than the newest is dropped when its picture comes.
  int m_hoverPending = -1;
  quint64 m_hoverTicket = 0;
  // The newest picture change asked of each control, by ticket.
  QHash<ControlId, quint64> m_pictureTickets;
  quint64 m_lastPictureTicket = 0;

  WindowSystem &m_windowSystem;
  DocumentResources &m_resources;
  ValueStore m_store;
  Evaluator m_evaluator;
  ObjectModel m_objects;
  WindowSettings m_settings;
  QString m_programPath;
  int m_newDepth = 0;
  int m_newBudget = maxChainEngines - 1;
  PageOrigins m_pageOrigins;
  int m_pageRunDepth = 0; // runs on a page's behalf under way
  RefusalNotices m_refusals;
  std::function<qint64()> m_clock;
  // When the last accepted NEW ran, oldest first; at most maxNewPerSecond are kept.
  std::deque<qint64> m_newStarts;
  // RESTRICTMOVE's words and the decimal values of their constants, read once from the store.
  struct RestrictMode {
    QString word;
    QString value;
    QString constant; // upper-cased, as the operand is compared
  };
  RestrictMode m_restrictModes[4];
};

} // namespace nuv
