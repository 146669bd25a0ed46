// The words of the language in one place: the interpreter dispatches from these tables, the
// checker reads them, and the reference prints them, so none of the three can know a word the
// others do not.
#pragma once

#include <QStringView>

#include <span>

namespace nuv {

// The kind of block an OBJECT line opens, named after its kind word.
enum class BlockKind { None, Button, InputBox, Browser, Form };

// What a word after an object does, in a block, as a command or read in a value.
enum class Member {
  Name,
  Top,
  Left,
  Width,
  Height,
  Visible,
  Type,
  Bitmap,
  DownBitmap,
  OverBitmap,
  Caption,
  Text,
  Location,
  Home,
  Mask,
  JsErrors,
  AlphaBlendBitmap,
  SetShapeBmp,
  Hide,
  Show,
  Back,
  Forward,
  Refresh,
  Stop,
  TargetUrl,
  Shaped,
};

// Where a member word may stand; a word may have several uses.
enum MemberUse : unsigned {
  InBlock = 1,   // a property line between OBJECT and ENDOBJECT: "TOP 10"
  AsCommand = 2, // a command on a declared object: "Go.TOP 10"
  Readable = 4,  // read in a value: Go.TOP
  NamesFile = 8, // its quoted operand is a file that must exist
};

// One word with what it takes and the operand of its example; takes is empty for a word that
// takes nothing.
struct WordEntry {
  QStringView word;
  QStringView takes;
  QStringView sample;
  QStringView about;
};

struct MemberWord {
  Member member;
  unsigned uses;
  WordEntry entry;
};

struct KindWords {
  BlockKind kind;
  QStringView word;       // after OBJECT
  QStringView sampleName; // the object the examples name
  QStringView about;
  std::span<const MemberWord> members;
  std::span<const WordEntry> events; // EVENT blocks; takes and sample unused
};

// BUTTON, INPUTBOX, BROWSER and FORM, in that order.
std::span<const KindWords> objectKinds();
// The kind an upper-cased kind word names; nullptr for none.
const KindWords *kindNamed(QStringView upperWord);
const KindWords &kindWords(BlockKind kind);
// The member an upper-cased word names in this use; nullptr when the kind has none. Sizes are
// compared first: property lines are many, and most words differ in length.
const MemberWord *findMember(const KindWords &kind, QStringView upperWord, MemberUse use);
bool hasEvent(const KindWords &kind, QStringView upperWord);

// Words that shape a document rather than do something: the include line and the ends of
// blocks. The document reader and the statement loop look for them.
std::span<const WordEntry> structureWords();

} // namespace nuv
