// Finds what a document gets wrong without running it: the faults parseContent passes over.
#include "checker.h"

#include "interpreter.h"
#include "run.h"
#include "text.h"
#include "vocabulary.h"

#include <QHash>

#include <algorithm>

namespace nuv {

using namespace Qt::StringLiterals;

namespace {

bool namesFile(const MemberWord &word) {
  return (word.uses & NamesFile) != 0;
}

// A word that some kind of object takes as a command: "Ghost HIDE" names an object, where
// "TITEL 'x'" is a statement misspelt.
bool isCommandOfAnyKind(QStringView upperWord) {
  for (const KindWords &kind : objectKinds())
    if (findMember(kind, upperWord, AsCommand) != nullptr) return true;
  return false;
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
    const KindWords *open = nullptr;
    int declared = 0;
    QString name;
    for (const QString &raw : m_lines) {
      const QStringView line = statementOf(raw);
      if (line.isEmpty()) continue;
      const QString keyword = upperToken(line, 1);
      if (keyword == u"OBJECT") {
        open = kindNamed(upperToken(line, operandPosition(keyword)));
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

  // The state of one run while its lines are walked.
  struct Block {
    const KindWords *kind = nullptr;
    bool open = false; // also for an OBJECT kind that is none of the four
    int openedAt = -1;
    QString buttonType;
    bool buttonBitmap = false;
    // A list or event block inside took the rest of the run: the block's missing end is the
    // same fault, said once.
    bool cutShort = false;
  };

  // Lines [from, to) as one run of parseContent; event blocks are runs of their own.
  void checkRun(int from, int to) {
    Block block;
    for (int i = from; i < to; ++i) {
      const QStringView line = statementOf(m_lines[i]);
      if (line.isEmpty()) continue;
      if (unclosedQuote(line) >= 0) reportUnfinished(i, u"unclosed quote"_s);
      const QString keyword = upperToken(line, 1);
      if (Interpreter::isStatementKeyword(keyword)) {
        i = checkStatement(i, to, line, keyword, block);
      } else if (block.open && block.kind == nullptr) {
        // An OBJECT kind that is none of the four: its fault is said on the OBJECT line.
      } else if (block.kind != nullptr) {
        i = checkProperty(i, to, line, keyword, block);
      } else {
        checkCommand(i, line, keyword);
      }
    }
    if (block.kind != nullptr && !block.cutShort)
      reportUnfinished(block.openedAt, u"OBJECT block is never closed: ENDOBJECT is missing"_s);
  }

  // Gives the index of the statement's last line.
  int checkStatement(int i, int to, QStringView line, const QString &keyword, Block &block) {
    const int at = operandPosition(keyword);
    if (keyword == u"OBJECT") {
      if (block.kind != nullptr)
        reportUnfinished(block.openedAt, u"OBJECT block is never closed: ENDOBJECT is missing"_s);
      const QString kind = upperToken(line, at);
      block = Block{kindNamed(kind), true, i, u"TEXT"_s, false, false};
      if (block.kind == nullptr)
        report(i, Severity::Error,
               u"unknown OBJECT kind '%1': BUTTON, INPUTBOX, BROWSER or FORM"_s.arg(kind));
    } else if (keyword == u"ENDOBJECT") {
      if (!block.open) report(i, Severity::Warning, u"ENDOBJECT without OBJECT"_s);
      const QString &type = block.buttonType;
      if (block.kind != nullptr && block.kind->kind == BlockKind::Button && !block.buttonBitmap &&
          (type == u"GRAPHICAL" || type == u"SHAPED"))
        report(block.openedAt, Severity::Warning,
               u"the button never shows: TYPE %1 needs a BITMAP"_s.arg(type));
      block = Block{};
    } else if (keyword == u"PRELOAD") {
      return checkPreload(i, to, line, at, block);
    } else if (keyword == u"LOADINGIMAGE") {
      checkFile(i, quotedString(line, at));
    } else if (keyword.startsWith(u"SET"_s) && keyword.endsWith(u"CURSOR"_s)) {
      // A quoted operand is a pointer file; other values name system pointers.
      if (trimmedView(restFrom(line, at)).startsWith(u'"')) checkFile(i, quotedString(line, at));
    }
    return i;
  }

  // A line inside a block of a known kind; gives the index of its last line.
  int checkProperty(int i, int to, QStringView line, const QString &keyword, Block &block) {
    const KindWords &kind = *block.kind;
    const int at = operandPosition(keyword);
    if (keyword == u"EVENT" && kind.kind != BlockKind::Form)
      return checkEvent(i, to, kind, upperToken(line, at), block);
    if (keyword == u"ENDEVENT") {
      report(i, Severity::Warning, u"ENDEVENT without EVENT"_s);
      return i;
    }
    const MemberWord *word = findMember(kind, keyword, InBlock);
    if (word == nullptr) {
      report(i, Severity::Warning, u"%1 has no property '%2'"_s.arg(kind.word, keyword));
      return i;
    }
    if (namesFile(*word)) {
      const QString location = quotedString(line, at);
      checkFile(i, location);
      if (word->member == Member::Bitmap) block.buttonBitmap = !location.isEmpty();
    }
    if (kind.kind == BlockKind::Button && word->member == Member::Type) {
      block.buttonType = upperToken(line, at);
      const QString &type = block.buttonType;
      if (type != u"TEXT" && type != u"GRAPHICAL" && type != u"SHAPED")
        report(i, Severity::Warning,
               u"unknown button TYPE '%1': the button never shows"_s.arg(type));
    }
    return i;
  }

  // Gives the index of the list's last line.
  int checkPreload(int i, int to, QStringView line, int at, Block &block) {
    const QString kind = upperToken(line, at);
    if (kind == u"IMAGE" || kind == u"FILE") return i;
    if (kind != u"IMAGES" && kind != u"FILES") {
      report(i, Severity::Warning, u"PRELOAD takes IMAGE, IMAGES, FILE or FILES"_s);
      return i;
    }
    for (int j = i + 1; j < to; ++j)
      if (tokenIs(trimmedView(m_lines[j]), 1, u"ENDPRELOAD")) return j;
    reportUnfinished(i, u"PRELOAD list is never closed: ENDPRELOAD is missing"_s);
    block.cutShort = true;
    return to - 1;
  }

  int checkEvent(int i, int to, const KindWords &kind, const QString &name, Block &block) {
    if (!hasEvent(kind, name))
      report(i, Severity::Warning, u"%1 has no event '%2'"_s.arg(kind.word, name));
    int end = i + 1;
    while (end < to && !tokenIs(trimmedView(m_lines[end]), 1, u"ENDEVENT"))
      ++end;
    if (end == to) {
      // What follows was most likely meant to come after the block: checked as event lines, it
      // would only repeat this fault.
      reportUnfinished(i, u"EVENT block is never closed: ENDEVENT is missing"_s);
      block.cutShort = true;
      return to - 1;
    }
    // The block runs later as a text of its own.
    checkRun(i + 1, end);
    return end;
  }

  void checkCommand(int i, QStringView line, const QString &keyword) {
    if (keyword == u"ENDEVENT" || keyword == u"ENDPRELOAD") {
      report(i, Severity::Warning,
             u"%1 without %2"_s.arg(keyword, keyword == u"ENDEVENT" ? u"EVENT" : u"PRELOAD"));
      return;
    }
    const QStringView written = line.left(keyword.size());
    const QStringView rest = restFrom(line, int(keyword.size()) + 2);
    const QString command = upperToken(rest, 1);
    const auto found = m_objects.constFind(keyword);
    if (found == m_objects.constEnd()) {
      const bool named = (line.size() > keyword.size() && line[keyword.size()] == u'.') ||
                         isCommandOfAnyKind(command);
      report(i, Severity::Warning,
             named ? u"no object is named '%1'"_s.arg(written)
                   : u"unknown statement '%1'"_s.arg(written));
      return;
    }
    const KindWords &kind = **found;
    const MemberWord *word = findMember(kind, command, AsCommand);
    if (word == nullptr) {
      report(i, Severity::Warning,
             u"%1 is a %2, which has no command '%3'"_s.arg(written, kind.word, command));
      return;
    }
    if (namesFile(*word)) checkFile(i, quotedString(rest, operandPosition(command)));
  }

  const QStringList &m_lines;
  const FileProbe &m_fileExists;
  QHash<QString, const KindWords *> m_objects; // upper-cased name to the kind declared first
  std::vector<Finding> m_findings;
};

} // namespace

std::vector<Finding> checkDocument(const QStringList &lines, const FileProbe &fileExists) {
  return Checker(lines, fileExists).run();
}

} // namespace nuv
