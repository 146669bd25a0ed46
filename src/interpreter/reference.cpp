// The language reference, printed from the tables the interpreter runs documents with.
#include "reference.h"

#include "interpreter.h"
#include "vocabulary.h"

namespace nuv {

using namespace Qt::StringLiterals;

namespace {

QString code(QStringView text) {
  return text.isEmpty() ? QString() : u'`' + text.toString() + u'`';
}

QString takes(const WordEntry &entry) {
  return entry.takes.isEmpty() ? u"nothing"_s : entry.takes.toString();
}

// The example: the word, then its sample operand when it takes one.
QString example(QStringView prefix, const WordEntry &entry) {
  QString line = prefix.toString() + entry.word.toString();
  if (!entry.sample.isEmpty()) line += u' ' + entry.sample.toString();
  return code(line);
}

void wordTable(QString &out, QStringView prefix, const std::vector<WordEntry> &words) {
  out += u"| Word | Takes | Example | What it does |\n|---|---|---|---|\n"_s;
  for (const WordEntry &w : words)
    out += u"| %1 | %2 | %3 | %4 |\n"_s.arg(code(w.word), takes(w), example(prefix, w),
                                            w.about.toString());
  out += u'\n';
}

std::vector<WordEntry> membersFor(const KindWords &kind, MemberUse use) {
  std::vector<WordEntry> words;
  for (const MemberWord &m : kind.members)
    if ((m.uses & use) != 0) words.push_back(m.entry);
  return words;
}

void objectSection(QString &out, const KindWords &kind) {
  const QString name = kind.sampleName.toString();
  out += u"### OBJECT %1\n\n%2.\n\n"_s.arg(kind.word.toString(), kind.about.toString());
  out += u"Properties, one a line inside the block:\n\n"_s;
  wordTable(out, {}, membersFor(kind, InBlock));
  if (const auto commands = membersFor(kind, AsCommand); !commands.empty()) {
    out += u"Commands, on a named object:\n\n"_s;
    wordTable(out, QString(name + u'.'), commands);
  }
  if (const auto values = membersFor(kind, Readable); !values.empty()) {
    out += u"Read in values:"_s;
    for (const WordEntry &w : values)
      out += u' ' + code(name + u'.' + w.word.toString());
    out += u"\n\n"_s;
  }
  if (!kind.events.empty()) {
    out += u"Events, each an `EVENT` block inside the object's block:\n\n"_s;
    out += u"| Event | Runs when |\n|---|---|\n"_s;
    for (const WordEntry &e : kind.events)
      out += u"| %1 | %2 |\n"_s.arg(code(e.word), e.about.toString());
    out += u'\n';
  }
}

} // namespace

QString languageReference() {
  QString out = u"# The Skivet language\n\n"
                u"Printed by `nuv --reference` from the tables the engine reads documents with. "
                u"Words are case-insensitive; a `#` outside double quotes starts a comment. A "
                u"line the engine does not know is passed over; `nuv --check` names it.\n\n"
                u"## Statements\n\n"_s;
  wordTable(out, {}, Interpreter::statementWords());
  out += u"## Objects\n\n"
         u"An `OBJECT` line opens a block of the object's properties and `EVENT` blocks, and "
         u"`ENDOBJECT` makes the object. A named object then takes commands "
         u"(`Name.WORD value`, or `Name WORD value`) and its properties read in values.\n\n"_s;
  for (const KindWords &kind : objectKinds())
    objectSection(out, kind);
  out += u"## Document structure\n\n"_s;
  const auto structure = structureWords();
  wordTable(out, {}, std::vector<WordEntry>(structure.begin(), structure.end()));
  out += u"## Constants\n\nMembers of `NUV`, read in values such as `SETFORMCURSOR NUV.MPHand`.\n\n"
         u"| Constant | Value | What it is |\n|---|---|---|\n"_s;
  for (const EngineConstant &c : engineConstants()) {
    const QString value = std::holds_alternative<QString>(c.value) ? u"\"\""_s : toText(c.value);
    out += u"| %1 | %2 | %3 |\n"_s.arg(code(u"NUV."_s + c.member.toString()), value,
                                       c.about.toString());
  }
  return out;
}

} // namespace nuv
