// The words of the language in one place: object kinds, their members and events, and the words
// that shape a document. The statements are the interpreter's own table (interpreter.cpp).
#include "vocabulary.h"

#include <algorithm>
#include <iterator>

namespace nuv {

namespace {

constexpr unsigned placed = InBlock | AsCommand | Readable;
constexpr unsigned declared = InBlock | Readable;

const MemberWord buttonMembers[] = {
    {Member::Name, declared, {u"NAME", u"a name", u"Go", u"what commands and values call it"}},
    {Member::Top, placed, {u"TOP", u"pixels", u"10", u"distance from the window's top edge"}},
    {Member::Left, placed, {u"LEFT", u"pixels", u"10", u"distance from the window's left edge"}},
    {Member::Width,
     placed,
     {u"WIDTH", u"pixels", u"80", u"width (a shaped button takes its picture's)"}},
    {Member::Height, placed, {u"HEIGHT", u"pixels", u"40", u"height"}},
    {Member::Visible,
     declared,
     {u"VISIBLE", u"TRUE or FALSE", u"FALSE", u"whether it shows at first"}},
    {Member::Type,
     declared,
     {u"TYPE", u"TEXT, GRAPHICAL or SHAPED", u"GRAPHICAL",
      u"a text button, a picture button, or one cut to its picture's outline; the last two need a "
      u"BITMAP"}},
    {Member::Bitmap,
     placed | NamesFile,
     {u"BITMAP", u"a quoted picture location", u"\"go.png\"",
      u"its picture; as a command, for GRAPHICAL and SHAPED buttons"}},
    {Member::DownBitmap,
     declared | NamesFile,
     {u"DOWNBITMAP", u"a quoted picture location", u"\"go-down.png\"",
      u"its picture while pressed"}},
    {Member::OverBitmap,
     declared | NamesFile,
     {u"OVERBITMAP", u"a quoted picture location", u"\"go-over.png\"",
      u"its picture while the pointer is over it"}},
    {Member::Caption, declared, {u"CAPTION", u"a quoted text", u"\"Play\"", u"the text on it"}},
    {Member::Hide, AsCommand, {u"HIDE", {}, {}, u"hides it"}},
    {Member::Show, AsCommand, {u"SHOW", {}, {}, u"shows it"}},
    {Member::Shaped, Readable, {u"SHAPED", {}, {}, u"FALSE; kept for documents that read it"}},
};
const WordEntry buttonEvents[] = {
    {u"CLICK", {}, {}, u"a click on the button"},
    {u"MOUSEOVER", {}, {}, u"the pointer comes onto the button"},
    // Read and kept, so that their lines never run as statements; no control event runs them.
    {u"MOUSEDOWN", {}, {}, u"kept, never run: a press only shows DOWNBITMAP"},
    {u"MOUSEUP", {}, {}, u"kept, never run: a release only shows BITMAP again"},
    {u"DOUBLECLICK", {}, {}, u"kept, never run: a double click is two CLICKs"},
};

const MemberWord inputBoxMembers[] = {
    {Member::Name, declared, {u"NAME", u"a name", u"Box", u"what commands and values call it"}},
    {Member::Top, placed, {u"TOP", u"pixels", u"50", u"distance from the window's top edge"}},
    {Member::Left, placed, {u"LEFT", u"pixels", u"10", u"distance from the window's left edge"}},
    {Member::Width, placed, {u"WIDTH", u"pixels", u"180", u"width"}},
    {Member::Height, placed, {u"HEIGHT", u"pixels", u"24", u"height"}},
    {Member::Visible,
     declared,
     {u"VISIBLE", u"TRUE or FALSE", u"FALSE", u"read back only: a box shows at first"}},
    {Member::Text,
     placed,
     {u"TEXT", u"a quoted text; as a command, a text value", u"\"hello\"", u"the text in the box"}},
    {Member::Hide, AsCommand, {u"HIDE", {}, {}, u"hides it"}},
    {Member::Show, AsCommand, {u"SHOW", {}, {}, u"shows it"}},
};
const WordEntry inputBoxEvents[] = {
    {u"CHANGED", {}, {}, u"Enter is pressed in the box"},
};

const MemberWord browserMembers[] = {
    {Member::Name, declared, {u"NAME", u"a name", u"Web", u"what commands and values call it"}},
    {Member::Top, placed, {u"TOP", u"pixels", u"80", u"distance from the window's top edge"}},
    {Member::Left, placed, {u"LEFT", u"pixels", u"10", u"distance from the window's left edge"}},
    {Member::Width, placed, {u"WIDTH", u"pixels", u"300", u"width"}},
    {Member::Height, placed, {u"HEIGHT", u"pixels", u"200", u"height"}},
    {Member::Visible,
     declared,
     {u"VISIBLE", u"TRUE or FALSE", u"FALSE", u"whether it shows at first"}},
    {Member::Location,
     placed,
     {u"LOCATION", u"a quoted address; as a command, a text value", u"\"https://example.org/\"",
      u"the page it shows; relative locations count from the document's folder"}},
    {Member::Home, InBlock, {u"HOME", u"a quoted address", u"\"start.html\"", u"its home page"}},
    {Member::Mask,
     declared | NamesFile,
     {u"MASK", u"a quoted picture location", u"\"mask.png\"", u"a picture whose shape it takes"}},
    {Member::Type, declared, {u"TYPE", u"a word", u"PLAIN", u"kept for documents to read back"}},
    {Member::JsErrors,
     InBlock | AsCommand,
     {u"JSERRORS", u"TRUE or FALSE", u"TRUE",
      u"in the block, TRUE shows the pages' script errors; as a command, TRUE silences them"}},
    {Member::Back, AsCommand, {u"BACK", {}, {}, u"goes back a page"}},
    {Member::Forward, AsCommand, {u"FORWARD", {}, {}, u"goes forward a page"}},
    {Member::Refresh, AsCommand, {u"REFRESH", {}, {}, u"loads the page again"}},
    {Member::Stop, AsCommand, {u"STOP", {}, {}, u"stops loading"}},
    {Member::Hide, AsCommand, {u"HIDE", {}, {}, u"hides it"}},
    {Member::Show, AsCommand, {u"SHOW", {}, {}, u"shows it"}},
    {Member::TargetUrl, Readable, {u"TARGETURL", {}, {}, u"the address a navigation is going to"}},
    {Member::Shaped, Readable, {u"SHAPED", {}, {}, u"FALSE; kept for documents that read it"}},
};
const WordEntry browserEvents[] = {
    {u"BEFORENAVIGATE", {}, {}, u"a navigation starts; TARGETURL is its address"},
    {u"AFTERNAVIGATE", {}, {}, u"a page has loaded; LOCATION is its address"},
};

const MemberWord formMembers[] = {
    {Member::Name, InBlock, {u"NAME", u"a name", u"Main", u"what commands call the window"}},
    {Member::Top,
     InBlock | AsCommand,
     {u"TOP", u"pixels; N- counts from the screen's bottom edge", u"30",
      u"the window's top edge on the screen"}},
    {Member::Left,
     InBlock | AsCommand,
     {u"LEFT", u"pixels; N- counts from the screen's right edge", u"40",
      u"the window's left edge on the screen"}},
    {Member::Bitmap,
     InBlock | AsCommand | NamesFile,
     {u"BITMAP", u"a quoted picture location", u"\"skin.png\"",
      u"the window's picture; the window takes its size"}},
    {Member::AlphaBlendBitmap,
     InBlock | AsCommand | NamesFile,
     {u"ALPHABLENDBITMAP", u"a quoted picture location", u"\"skin-alpha.png\"",
      u"a picture with per-pixel alpha that SETSHAPEBMP makes the window"}},
    {Member::SetShapeBmp,
     InBlock | AsCommand,
     {u"SETSHAPEBMP",
      {},
      {},
      u"applies the pictures: the alpha picture, else BITMAP cut to its outline without the "
      u"mask colour"}},
};

const KindWords kinds[] = {
    {BlockKind::Button, u"BUTTON", u"Go", u"A text, picture or shaped button", buttonMembers,
     buttonEvents},
    {BlockKind::InputBox, u"INPUTBOX", u"Box", u"A one-line text box", inputBoxMembers,
     inputBoxEvents},
    {BlockKind::Browser, u"BROWSER", u"Web", u"An embedded web browser", browserMembers,
     browserEvents},
    {BlockKind::Form,
     u"FORM",
     u"Main",
     u"The window itself: its place and its skin",
     formMembers,
     {}},
};

const WordEntry structure[] = {
    {u"%INCLUDE", u"a quoted location", u"\"parts/menu.skv\"",
     u"puts that file's lines here before the document runs; relative to the document's folder"},
    {u"EVENT", u"an event of the object's kind", u"CLICK",
     u"in an object block: the lines up to ENDEVENT run when the event comes"},
    {u"ENDEVENT", {}, {}, u"ends an EVENT block"},
    {u"ENDPRELOAD", {}, {}, u"ends the list of a PRELOAD IMAGES or PRELOAD FILES"},
};

} // namespace

std::span<const KindWords> objectKinds() {
  return kinds;
}

const KindWords *kindNamed(QStringView upperWord) {
  const auto *found = std::find_if(std::begin(kinds), std::end(kinds),
                                   [upperWord](const KindWords &k) { return k.word == upperWord; });
  return found == std::end(kinds) ? nullptr : found;
}

const KindWords &kindWords(BlockKind kind) {
  const auto *found = std::find_if(std::begin(kinds), std::end(kinds),
                                   [kind](const KindWords &k) { return k.kind == kind; });
  Q_ASSERT_X(found != std::end(kinds), "kindWords", "BlockKind::None has no words");
  return *found;
}

const MemberWord *findMember(const KindWords &kind, QStringView upperWord, MemberUse use) {
  for (const MemberWord &m : kind.members)
    if ((m.uses & use) != 0 && m.entry.word.size() == upperWord.size() && m.entry.word == upperWord)
      return &m;
  return nullptr;
}

bool hasEvent(const KindWords &kind, QStringView upperWord) {
  return std::any_of(kind.events.begin(), kind.events.end(),
                     [upperWord](const WordEntry &e) { return e.word == upperWord; });
}

std::span<const WordEntry> structureWords() {
  return structure;
}

} // namespace nuv
