// Every word the vocabulary lists does what it says in the interpreter: the checker and the
// reference read the same tables, so a word listed but never handled would be one they accept
// and the engine passes over.
#include "../support/fakewindowsystem.h"
#include "interpreter.h"
#include "vocabulary.h"

#include <gtest/gtest.h>

using namespace nuv;
using namespace nuv::test;
using namespace Qt::StringLiterals;

namespace {

// What a run leaves that a person or a later line could tell apart.
struct Seen {
  QStringList windows;
  QStringList resources;
  RecordTable<ButtonRecord> buttons;
  RecordTable<InputBoxRecord> inputBoxes;
  RecordTable<BrowserRecord> browsers;
  RecordTable<FormRecord> forms;
  bool operator==(const Seen &) const = default;
};

Seen run(const QString &document) {
  FakeWindowSystem windows;
  FakeResources resources;
  Interpreter interpreter(windows, resources);
  QString text = document;
  interpreter.parseContent(text);
  const ObjectModel &objects = interpreter.objects();
  return {windows.log,           resources.log,        objects.buttonTable,
          objects.inputBoxTable, objects.browserTable, objects.formTable};
}

QString line(QStringView prefix, const WordEntry &entry) {
  QString text = prefix.toString() + entry.word.toString();
  if (!entry.sample.isEmpty()) text += u' ' + entry.sample.toString();
  return text + u'\n';
}

// A declared object of the kind, named as the examples name it; a button is a picture button,
// so that every one of its commands applies.
QString declaration(const KindWords &kind) {
  QString text = u"OBJECT "_s + kind.word.toString() + u"\nNAME "_s + kind.sampleName.toString();
  if (kind.kind == BlockKind::Button) text += u"\nTYPE GRAPHICAL\nBITMAP \"go.png\""_s;
  return text + u"\nENDOBJECT\n"_s;
}

// A form's pictures wait for SETSHAPEBMP; the same line ends both versions of a document.
QString formTail(const KindWords &kind, QStringView prefix) {
  return kind.kind == BlockKind::Form ? prefix.toString() + u"SETSHAPEBMP\n"_s : QString();
}

} // namespace

TEST(Vocabulary, EveryPropertyInTheTablesSetsSomething) {
  for (const KindWords &kind : objectKinds()) {
    for (const MemberWord &member : kind.members) {
      if ((member.uses & InBlock) == 0) continue;
      SCOPED_TRACE((kind.word.toString() + u' ' + member.entry.word.toString()).toStdString());
      const QString open = u"OBJECT "_s + kind.word.toString() + u'\n';
      const QString close = formTail(kind, {}) + u"ENDOBJECT\n"_s;
      EXPECT_NE(run(open + line({}, member.entry) + close), run(open + close));
    }
  }
}

TEST(Vocabulary, EveryCommandInTheTablesDoesSomething) {
  for (const KindWords &kind : objectKinds()) {
    const QString prefix = kind.sampleName.toString() + u'.';
    for (const MemberWord &member : kind.members) {
      if ((member.uses & AsCommand) == 0) continue;
      SCOPED_TRACE((kind.word.toString() + u' ' + member.entry.word.toString()).toStdString());
      const QString declared = declaration(kind);
      const QString tail = formTail(kind, prefix);
      EXPECT_NE(run(declared + line(prefix, member.entry) + tail), run(declared + tail));
    }
  }
}

TEST(Vocabulary, EveryEventInTheTablesIsStored) {
  for (const KindWords &kind : objectKinds()) {
    for (const WordEntry &event : kind.events) {
      SCOPED_TRACE((kind.word.toString() + u' ' + event.word.toString()).toStdString());
      const auto block = [&](QStringView name) {
        return u"OBJECT "_s + kind.word.toString() + u"\nEVENT "_s + name.toString() +
               u"\nTITLE \"ran\"\nENDEVENT\nENDOBJECT\n"_s;
      };
      // An event the kind does not have is read and dropped.
      EXPECT_NE(run(block(event.word)), run(block(u"NOSUCHEVENT")));
    }
  }
}

TEST(Vocabulary, EveryReadableWordReadsAValue) {
  for (const KindWords &kind : objectKinds()) {
    FakeWindowSystem windows;
    FakeResources resources;
    Interpreter interpreter(windows, resources);
    QString text = declaration(kind);
    interpreter.parseContent(text);
    for (const MemberWord &member : kind.members) {
      const QString reference = kind.sampleName.toString() + u'.' + member.entry.word.toString();
      int pos = 1;
      EXPECT_EQ(isEmpty(interpreter.readProperty(reference, pos)), (member.uses & Readable) == 0)
          << reference.toStdString();
    }
  }
}
