// Tests of the typed value store and the engine constants it holds.
#include "valuestore.h"

#include <gtest/gtest.h>

#include <cmath>

namespace nuv {
namespace {

class ConstantsTest : public ::testing::Test {
protected:
  void SetUp() override { registerConstants(store); }
  ValueStore store;
};

TEST_F(ConstantsTest, EveryConstantHasItsValueAndWidth) {
  const struct {
    const char *name;
    Value expected;
  } cases[] = {
      {"NUV.MPDefault", QString()},      {"NUV.MPAppStarting", qint32(32650)},
      {"NUV.MPArrow", qint32(32512)},    {"NUV.MPCross", qint32(32515)},
      {"NUV.MPHand", qint32(32649)},     {"NUV.MPHelp", qint32(32651)},
      {"NUV.MPIBeam", qint32(32513)},    {"NUV.MPWait", qint32(32514)},
      {"NUV.MPUpArrow", qint32(32516)},  {"NUV.MPSizeWE", qint32(32644)},
      {"NUV.MPSizeNWSE", qint32(32642)}, {"NUV.MPSizeNS", qint32(32645)},
      {"NUV.MPSizeNESW", qint32(32643)}, {"NUV.MPSizeAll", qint32(32646)},
      {"NUV.MPNo", qint32(32648)},       {"NUV.RMNone", qint16(0)},
      {"NUV.RMNoMove", qint16(1)},       {"NUV.RMHorizontalOnly", qint16(2)},
      {"NUV.RMVerticalOnly", qint16(3)},
  };
  for (const auto &c : cases) {
    const Value v = store.getValue(QString::fromLatin1(c.name));
    EXPECT_EQ(v.index(), c.expected.index()) << c.name;
    EXPECT_TRUE(v == c.expected) << c.name;
  }
}

TEST_F(ConstantsTest, LayoutIsOneTypeWithNineteenMembersInOrder) {
  EXPECT_EQ(store.typeCount(), 20);
  ASSERT_EQ(store.variableCount(), 1);
  const int type = store.findType("typeNUVConstants");
  ASSERT_EQ(type, 0);
  EXPECT_EQ(store.countSlots(type), 19);
  EXPECT_EQ(store.slotKind(type, 0), SlotKind::Text);
  EXPECT_EQ(store.slotKind(type, 18), SlotKind::Number);
  EXPECT_EQ(store.slotKind(type, 19), SlotKind::TypeDefinition); // no such slot
  EXPECT_EQ(store.memberSlot(type, "MPHand"), 4);
  EXPECT_EQ(store.memberSlot(type, "RMVerticalOnly"), 18);
  EXPECT_EQ(store.variable(0).values.size(), 19u);
}

TEST_F(ConstantsTest, NamesThatAreNotInTheStoreGiveEmpty) {
  const char *names[] = {"nuv.MPHand",
                         "NUV.mphand",
                         "MPHand",
                         "NUV",
                         "NUV.",
                         "",
                         "NUV.MPHand ",
                         " NUV.MPHand",
                         "NUV..MPHand",
                         "NUV.MPHand.Extra",
                         "NUV.typeNUVConstants"};
  for (const char *name : names)
    EXPECT_TRUE(isEmpty(store.getValue(QString::fromLatin1(name)))) << name;
}

TEST_F(ConstantsTest, RegisteringAgainStartsFromAnEmptyStore) {
  store.setValue("NUV.MPHand", qint32(1));
  registerConstants(store);
  EXPECT_EQ(store.typeCount(), 20);
  EXPECT_EQ(store.variableCount(), 1);
  EXPECT_TRUE(store.getValue("NUV.MPHand") == Value(qint32(32649)));
}

TEST(ValueStoreTest, InitialValuesByKind) {
  const struct {
    SlotKind kind;
    Value expected;
  } cases[] = {
      {SlotKind::Number, qint16(0)},   {SlotKind::Text, QString()},
      {SlotKind::Boolean, false},      {SlotKind::UserType, 2.5}, // left unchanged
      {SlotKind::TypeDefinition, 2.5},
  };
  for (const auto &c : cases) {
    Value slot = 2.5;
    initValue(slot, c.kind);
    EXPECT_EQ(slot.index(), c.expected.index()) << int(c.kind);
    EXPECT_TRUE(slot == c.expected) << int(c.kind);
  }
}

// Rect { topLeft: Point, label: Text, bottomRight: Point, shown: Boolean } with Point { x, y }.
class NestedTypesTest : public ::testing::Test {
protected:
  void SetUp() override {
    store.addType("Point");
    store.addMember("Point", "x", SlotKind::Number);
    store.addMember("Point", "y", SlotKind::Number);
    store.addType("Rect");
    store.addMember("Rect", "topLeft", SlotKind::UserType, "Point");
    store.addMember("Rect", "label", SlotKind::Text);
    store.addMember("Rect", "bottomRight", SlotKind::UserType, "Point");
    store.addMember("Rect", "shown", SlotKind::Boolean);
    store.addVariable("r", SlotKind::UserType, "Rect");
  }
  ValueStore store;
};

TEST_F(NestedTypesTest, SlotsFollowDepthFirstMemberOrder) {
  const int rect = store.findType("Rect");
  ASSERT_GE(rect, 0);
  EXPECT_EQ(store.countSlots(rect), 6);
  const struct {
    const char *path;
    int slot;
    SlotKind kind;
  } cases[] = {
      {"topLeft.x", 0, SlotKind::Number},     {"topLeft.y", 1, SlotKind::Number},
      {"label", 2, SlotKind::Text},           {"bottomRight.x", 3, SlotKind::Number},
      {"bottomRight.y", 4, SlotKind::Number}, {"shown", 5, SlotKind::Boolean},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(store.memberSlot(rect, QString::fromLatin1(c.path)), c.slot) << c.path;
    EXPECT_EQ(store.slotKind(rect, c.slot), c.kind) << c.path;
  }
  const char *notSlots[] = {"topLeft", "x", "topLeft.z", "TopLeft.x", "", "label."};
  for (const char *path : notSlots)
    EXPECT_EQ(store.memberSlot(rect, QString::fromLatin1(path)), -1) << path;
}

TEST_F(NestedTypesTest, SlotsStartWithTheirKindsValueAndKeepWhatIsWritten) {
  EXPECT_TRUE(store.getValue("r.bottomRight.y") == Value(qint16(0)));
  EXPECT_TRUE(store.getValue("r.label") == Value(QString()));
  EXPECT_TRUE(store.getValue("r.shown") == Value(false));

  store.setValue("r.bottomRight.y", 7.5); // no conversion to the slot's kind
  store.setValue("r.label", QString("box"));
  EXPECT_TRUE(store.getValue("r.bottomRight.y") == Value(7.5));
  EXPECT_TRUE(store.getValue("r.label") == Value(QString("box")));
  EXPECT_TRUE(store.getValue("r.topLeft.y") == Value(qint16(0)));
}

TEST_F(NestedTypesTest, UnknownNamesAreIgnoredBySetValue) {
  store.setValue("r.topLeft", qint32(1));
  store.setValue("r.nothing", qint32(1));
  store.setValue("q.x", qint32(1));
  EXPECT_EQ(store.variableCount(), 1);
  for (const Value &v : store.variable(0).values)
    EXPECT_FALSE(std::holds_alternative<qint32>(v));
}

TEST(ValueStoreTest, ScalarVariableIgnoresTheMemberPath) {
  ValueStore store;
  store.addVariable("s", SlotKind::Text);
  ASSERT_EQ(store.variable(0).values.size(), 1u);
  EXPECT_TRUE(store.getValue("s") == Value(QString()));
  store.setValue("s.anything", QString("x"));
  EXPECT_TRUE(store.getValue("s") == Value(QString("x")));
  EXPECT_TRUE(store.getValue("s.other.path") == Value(QString("x")));
}

TEST(ValueStoreTest, DuplicatesAreAppendedAndTheFirstWins) {
  ValueStore store;
  store.addType("T");
  store.addMember("T", "a", SlotKind::Number);
  store.addType("T");
  store.addMember("T", "b", SlotKind::Number); // goes to the first T
  EXPECT_EQ(store.typeCount(), 4);
  EXPECT_EQ(store.findType("T"), 0);
  EXPECT_EQ(store.countSlots(0), 2);
  EXPECT_EQ(store.countSlots(2), 0);

  store.addVariable("v", SlotKind::Number);
  store.addVariable("v", SlotKind::Boolean);
  EXPECT_EQ(store.variableCount(), 2);
  EXPECT_EQ(store.findVariable("v"), 0);
  store.setValue("v", qint32(9));
  EXPECT_TRUE(store.getValue("v") == Value(qint32(9)));
  EXPECT_TRUE(store.variable(1).values.front() == Value(false));
}

TEST(ValueStoreTest, LookupsSeeTypeChangesMadeAfterThem) {
  ValueStore store;
  store.addType("T");
  store.addMember("T", "a", SlotKind::Number);
  const int t = store.findType("T");
  EXPECT_EQ(store.memberSlot(t, "b"), -1);
  store.addMember("T", "b", SlotKind::Text);
  store.addMember("T", "a", SlotKind::Boolean); // a repeated name keeps its first slot
  EXPECT_EQ(store.memberSlot(t, "b"), 1);
  EXPECT_EQ(store.memberSlot(t, "a"), 0);
  store.addVariable("v", SlotKind::UserType, "T");
  EXPECT_TRUE(store.getValue("v.b") == Value(QString()));
  store.heapInit();
  EXPECT_EQ(store.memberSlot(t, "a"), -1);
  EXPECT_TRUE(isEmpty(store.getValue("v.b")));
}

TEST(ValueStoreTest, FindTypeSkipsMembersOfTheSameName) {
  ValueStore store;
  store.addType("Holder");
  store.addMember("Holder", "Inner", SlotKind::Number);
  EXPECT_EQ(store.findType("Inner"), -1);
  store.addType("Inner");
  EXPECT_EQ(store.findType("Inner"), 2);
}

TEST(ValueStoreTest, MissingTypesDeclareNothing) {
  ValueStore store;
  store.addMember("Nowhere", "m", SlotKind::Number);
  store.addVariable("v", SlotKind::UserType, "Nowhere");
  EXPECT_EQ(store.typeCount(), 0);
  EXPECT_EQ(store.variableCount(), 0);
  EXPECT_EQ(store.countSlots(0), 0);
  EXPECT_EQ(store.countSlots(-1), 0);
  EXPECT_EQ(store.memberSlot(5, "m"), -1);
}

TEST(ValueStoreTest, MembersOfEmptyOrUnknownTypesAreOneSlot) {
  ValueStore store;
  store.addType("Empty");
  store.addType("T");
  store.addMember("T", "e", SlotKind::UserType, "Empty");
  store.addMember("T", "u", SlotKind::UserType, "Unknown");
  store.addMember("T", "n", SlotKind::Number);
  const int t = store.findType("T");
  EXPECT_EQ(store.countSlots(t), 3);
  EXPECT_EQ(store.memberSlot(t, "e"), 0);
  EXPECT_EQ(store.memberSlot(t, "u"), 1);
  EXPECT_EQ(store.memberSlot(t, "n"), 2);
  EXPECT_EQ(store.countSlots(store.findType("Empty")), 0);
  store.addVariable("v", SlotKind::UserType, "T");
  EXPECT_TRUE(isEmpty(store.getValue("v.e")));
  EXPECT_TRUE(store.getValue("v.n") == Value(qint16(0)));
}

TEST(ValueStoreTest, TypesThatContainThemselvesStayFinite) {
  ValueStore store;
  store.addType("Node");
  store.addMember("Node", "value", SlotKind::Number);
  store.addMember("Node", "next", SlotKind::UserType, "Node");
  store.addMember("Node", "prev", SlotKind::UserType, "Node");
  // A and B contain each other.
  store.addType("A");
  store.addType("B");
  store.addMember("A", "b", SlotKind::UserType, "B");
  store.addMember("B", "a", SlotKind::UserType, "A");
  store.addMember("B", "flag", SlotKind::Boolean);

  const int node = store.findType("Node");
  EXPECT_EQ(store.countSlots(node), 3);
  EXPECT_EQ(store.memberSlot(node, "next"), 1);
  EXPECT_EQ(store.slotKind(node, 2), SlotKind::UserType);
  const int a = store.findType("A");
  EXPECT_EQ(store.countSlots(a), 2);
  EXPECT_EQ(store.memberSlot(a, "b.a"), 0);
  EXPECT_EQ(store.memberSlot(a, "b.flag"), 1);

  store.addVariable("n", SlotKind::UserType, "Node");
  store.addVariable("x", SlotKind::UserType, "A");
  ASSERT_EQ(store.variableCount(), 2);
  EXPECT_EQ(store.variable(0).values.size(), 3u);
  store.setValue("x.b.flag", true);
  EXPECT_TRUE(store.getValue("x.b.flag") == Value(true));
  EXPECT_TRUE(isEmpty(store.getValue("n.next.value")));
}

TEST(ValueStoreTest, RepeatedNestingIsBounded) {
  // Each level holds two members of the level below: without a bound the slots double per
  // level.
  ValueStore store;
  store.addType("L0");
  store.addMember("L0", "v", SlotKind::Number);
  for (int i = 1; i <= 40; ++i) {
    const QString name = QString("L%1").arg(i);
    const QString below = QString("L%1").arg(i - 1);
    store.addType(name);
    store.addMember(name, "left", SlotKind::UserType, below);
    store.addMember(name, "right", SlotKind::UserType, below);
  }
  const int top = store.findType("L40");
  const int slots = store.countSlots(top);
  EXPECT_GT(slots, 0);
  EXPECT_LE(slots, 1 << 16);
  store.addVariable("big", SlotKind::UserType, "L40");
  EXPECT_EQ(store.variable(0).values.size(), size_t(slots));
}

TEST(ValueStoreTest, HeapInitEmptiesEverything) {
  ValueStore store;
  registerConstants(store);
  store.heapInit();
  EXPECT_EQ(store.typeCount(), 0);
  EXPECT_EQ(store.variableCount(), 0);
  EXPECT_TRUE(isEmpty(store.getValue("NUV.MPHand")));
}

} // namespace
} // namespace nuv
