// Finds what a document gets wrong without running it: the faults parseContent passes over.
#include "checker.h"

#include "interpreter.h"
#include "run.h"
#include "text.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <initializer_list>

namespace nuv {

using namespace Qt::StringLiterals;

namespace {

// The words each kind of block and object knows. They follow the handlers in declarations.cpp
// and commands.cpp; a word added there belongs here too.
struct Vocabulary {
  QStringView kindWord;
  std::initializer_list<QStringView> properties;
  std::initializer_list<QStringView> fileProperties; // quoted locations that must exist
  std::initializer_list<QStringView> events;
  std::initializer_list<QStringView> commands;
};

const Vocabulary button{u"BUTTON",
                        {u"NAME", u"TOP", u"LEFT", u"WIDTH", u"HEIGHT", u"VISIBLE", u"TYPE",
                         u"BITMAP", u"DOWNBITMAP", u"OVERBITMAP", u"CAPTION"},
                        {u"BITMAP", u"DOWNBITMAP", u"OVERBITMAP"},
                        {u"CLICK", u"DOUBLECLICK", u"MOUSEDOWN", u"MOUSEUP", u"MOUSEOVER"},
                        {u"TOP", u"LEFT", u"HEIGHT", u"WIDTH", u"HIDE", u"SHOW", u"BITMAP"}};
const Vocabulary inputBox{u"INPUTBOX",
                          {u"NAME", u"TOP", u"LEFT", u"WIDTH", u"HEIGHT", u"VISIBLE", u"TEXT"},
                          {},
                          {u"CHANGED"},
                          {u"TOP", u"LEFT", u"HEIGHT", u"WIDTH", u"HIDE", u"SHOW", u"TEXT"}};
const Vocabulary browser{u"BROWSER",
                         {u"NAME", u"TOP", u"LEFT", u"WIDTH", u"HEIGHT", u"VISIBLE", u"LOCATION",
                          u"HOME", u"MASK", u"TYPE", u"JSERRORS"},
                         {u"MASK"},
                         {u"BEFORENAVIGATE", u"AFTERNAVIGATE"},
                         {u"BACK", u"FORWARD", u"REFRESH", u"STOP", u"HIDE", u"SHOW", u"JSERRORS",
                          u"LOCATION", u"TOP", u"LEFT", u"HEIGHT", u"WIDTH"}};
const Vocabulary form{u"FORM",
                      {u"NAME", u"TOP", u"LEFT", u"BITMAP", u"SETSHAPEBMP", u"ALPHABLENDBITMAP"},
                      {u"BITMAP", u"ALPHABLENDBITMAP"},
                      {},
                      {u"TOP", u"LEFT", u"BITMAP", u"ALPHABLENDBITMAP", u"SETSHAPEBMP"}};
const Vocabulary *const kinds[] = {&button, &inputBox, &browser, &form};

bool has(std::initializer_list<QStringView> words, QStringView word) {
  return std::find(words.begin(), words.end(), word) != words.end();
}

QString upperToken(QStringView line, int pos) {
  return getToken(line, pos).toUpper();
}

// A line as the loop reads it: trimmed, without its comment.
QStringView statementOf(const QString &line) {
  return trimmedView(withoutComment(trimmedView(line), u'#', u"\""));
}

// Where a quote opened and was never closed; -1 when every quote closes.
qsizetype unclosedQuote(QStringView line) {
  QChar open;
  qsizetype at = -1;
  for (qsizetype i = 0; i < line.size(); ++i) {
    const QChar c = line[i];
    if (at >= 0) {
      if (c == open) at = -1;
    } else if (c == u'"' || c == u'\'') {
      open = c;
      at = i;
    }
  }
  return at;
}

class Checker {
public:
  Checker(const QStringList &lines, const FileProbe &fileExists)
      : m_lines(lines), m_fileExists(fileExists) {}

  std::vector<Finding> run() {
    collectNames();
    checkRun(0, int(m_lines.size()));
    std::stable_sort(m_findings.begin(), m_findings.end(),
                     [](const Finding &a, const Finding &b) { return a.line < b.line; });
    return std::move(m_findings);
  }

private:
  void report(int index, Severity severity, const QString &text) {
    m_findings.push_back({index + 1, severity, text, false});
  }
  void reportUnfinished(int index, const QString &text) {
    m_findings.push_back({index + 1, Severity::Error, text, true});
  }

  // Every object any part of the document declares, events included: commands may name an
  // object that a later line or an event declares.
  void collectNames() {
    const Vocabulary *open = nullptr;
    int declared = 0;
    QString name;
    for (const QString &raw : m_lines) {
      const QStringView line = statementOf(raw);
      if (line.isEmpty()) continue;
      const QString keyword = upperToken(line, 1);
      if (keyword == u"OBJECT") {
        const QString kind = upperToken(line, operandPosition(keyword));
        open = nullptr;
        for (const Vocabulary *v : kinds)
          if (kind == v->kindWord) open = v;
        name.clear();
      } else if (keyword == u"NAME" && open != nullptr) {
        name = upperToken(line, operandPosition(keyword));
      } else if (keyword == u"ENDOBJECT" && open != nullptr) {
        // An object without a name is called Object and its place in the object index.
        ++declared;
        if (name.isEmpty()) name = u"OBJECT"_s + QString::number(declared);
        if (!m_objects.contains(name)) m_objects.insert(name, open);
        open = nullptr;
      }
    }
  }

  void checkFile(int index, const QString &location) {
    if (location.isEmpty() || m_fileExists(location)) return;
    report(index, Severity::Error, u"file not found: '%1'"_s.arg(location));
  }

  // Lines [from, to) as one run of parseContent; event blocks are runs of their own.
  void checkRun(int from, int to) {
    const Vocabulary *open = nullptr;
    bool inBlock = false; // also for an OBJECT kind that is none of the four
    int openedAt = -1;
    QString buttonType;
    bool buttonBitmap = false;
    for (int i = from; i < to; ++i) {
      const QStringView line = statementOf(m_lines[i]);
      if (line.isEmpty()) continue;
      if (unclosedQuote(line) >= 0) reportUnfinished(i, u"unclosed quote"_s);
      const QString keyword = upperToken(line, 1);
      const int at = operandPosition(keyword);

      if (Interpreter::isStatementKeyword(keyword)) {
        if (keyword == u"OBJECT") {
          if (open != nullptr)
            reportUnfinished(openedAt, u"OBJECT block is never closed: ENDOBJECT is missing"_s);
          const QString kind = upperToken(line, at);
          open = nullptr;
          for (const Vocabulary *v : kinds)
            if (kind == v->kindWord) open = v;
          if (open == nullptr)
            report(i, Severity::Error,
                   u"unknown OBJECT kind '%1': BUTTON, INPUTBOX, BROWSER or FORM"_s.arg(kind));
          inBlock = true;
          openedAt = i;
          buttonType = u"TEXT"_s;
          buttonBitmap = false;
        } else if (keyword == u"ENDOBJECT") {
          if (!inBlock) report(i, Severity::Warning, u"ENDOBJECT without OBJECT"_s);
          if (open == &button && buttonType != u"TEXT" && !buttonBitmap &&
              (buttonType == u"GRAPHICAL" || buttonType == u"SHAPED"))
            report(openedAt, Severity::Warning,
                   u"the button never shows: TYPE %1 needs a BITMAP"_s.arg(buttonType));
          open = nullptr;
          inBlock = false;
        } else if (keyword == u"PRELOAD") {
          i = checkPreload(i, to, line, at);
        } else if (keyword == u"LOADINGIMAGE") {
          checkFile(i, quotedString(line, at));
        } else if (keyword.startsWith(u"SET"_s) && keyword.endsWith(u"CURSOR"_s)) {
          // A quoted operand is a pointer file; other values name system pointers.
          if (trimmedView(restFrom(line, at)).startsWith(u'"'))
            checkFile(i, quotedString(line, at));
        }
        continue;
      }

      if (open != nullptr) {
        if (keyword == u"EVENT" && open != &form) {
          i = checkEvent(i, to, *open, upperToken(line, at));
          continue;
        }
        if (keyword == u"ENDEVENT") {
          report(i, Severity::Warning, u"ENDEVENT without EVENT"_s);
          continue;
        }
        if (!has(open->properties, keyword)) {
          report(i, Severity::Error, u"%1 has no property '%2'"_s.arg(open->kindWord, keyword));
          continue;
        }
        if (has(open->fileProperties, keyword)) {
          const QString location = quotedString(line, at);
          checkFile(i, location);
          if (open == &button && keyword == u"BITMAP") buttonBitmap = !location.isEmpty();
        }
        if (open == &button && keyword == u"TYPE") {
          buttonType = upperToken(line, at);
          if (buttonType != u"TEXT" && buttonType != u"GRAPHICAL" && buttonType != u"SHAPED")
            report(i, Severity::Warning,
                   u"unknown button TYPE '%1': the button never shows"_s.arg(buttonType));
        }
        continue;
      }
      checkCommand(i, line, keyword);
    }
    if (open != nullptr)
      reportUnfinished(openedAt, u"OBJECT block is never closed: ENDOBJECT is missing"_s);
  }

  // Gives the index of the block's last line.
  int checkPreload(int i, int to, QStringView line, int at) {
    const QString kind = upperToken(line, at);
    if (kind == u"IMAGE" || kind == u"FILE") return i;
    if (kind != u"IMAGES" && kind != u"FILES") {
      report(i, Severity::Error, u"PRELOAD takes IMAGE, IMAGES, FILE or FILES"_s);
      return i;
    }
    for (int j = i + 1; j < to; ++j)
      if (tokenIs(trimmedView(m_lines[j]), 1, u"ENDPRELOAD")) return j;
    reportUnfinished(i, u"PRELOAD list is never closed: ENDPRELOAD is missing"_s);
    return to - 1;
  }

  int checkEvent(int i, int to, const Vocabulary &kind, const QString &name) {
    if (!has(kind.events, name))
      report(i, Severity::Error, u"%1 has no event '%2'"_s.arg(kind.kindWord, name));
    int end = i + 1;
    while (end < to && !tokenIs(trimmedView(m_lines[end]), 1, u"ENDEVENT"))
      ++end;
    if (end == to) reportUnfinished(i, u"EVENT block is never closed: ENDEVENT is missing"_s);
    // The block runs later as a text of its own.
    checkRun(i + 1, end);
    return std::min(end, to - 1);
  }

  void checkCommand(int i, QStringView line, const QString &keyword) {
    if (keyword == u"ENDEVENT" || keyword == u"ENDPRELOAD") {
      report(i, Severity::Warning,
             u"%1 without %2"_s.arg(keyword, keyword == u"ENDEVENT" ? u"EVENT" : u"PRELOAD"));
      return;
    }
    const auto found = m_objects.constFind(keyword);
    if (found == m_objects.constEnd()) {
      const bool named = line.size() > keyword.size() && line[keyword.size()] == u'.';
      report(i, Severity::Error,
             named ? u"no object is named '%1'"_s.arg(line.left(keyword.size()))
                   : u"unknown statement '%1'"_s.arg(line.left(keyword.size())));
      return;
    }
    const QStringView rest = restFrom(line, int(keyword.size()) + 2);
    const QString command = upperToken(rest, 1);
    const Vocabulary &kind = **found;
    if (!has(kind.commands, command)) {
      report(i, Severity::Error,
             u"%1 is a %2, which has no command '%3'"_s.arg(line.left(keyword.size()),
                                                            kind.kindWord, command));
      return;
    }
    if (command == u"BITMAP" || command == u"ALPHABLENDBITMAP")
      checkFile(i, quotedString(rest, operandPosition(command)));
  }

  const QStringList &m_lines;
  const FileProbe &m_fileExists;
  QHash<QString, const Vocabulary *> m_objects; // upper-cased name to the kind declared first
  std::vector<Finding> m_findings;
};

} // namespace

std::vector<Finding> checkDocument(const QStringList &lines, const FileProbe &fileExists) {
  return Checker(lines, fileExists).run();
}

} // namespace nuv
