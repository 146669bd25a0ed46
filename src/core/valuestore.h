// The typed store of named values that holds the engine constants (NUV.MPHand, ...).
#pragma once

#include "value.h"

#include <QString>
#include <QStringView>

#include <span>
#include <utility>
#include <vector>

namespace nuv {

enum class SlotKind : qint16 {
  UserType = 0,
  Number = 1,
  Text = 2,
  Boolean = 3,
  TypeDefinition = 256
};

struct TypeNode {
  QString name;
  SlotKind kind = SlotKind::TypeDefinition;
  std::vector<int> children; // childCount is children.size()
};

struct VariableRecord {
  QString name;
  SlotKind kind = SlotKind::Number;
  int typeIndex = -1;
  std::vector<Value> values;
};

class ValueStore {
public:
  void heapInit();
  void addType(const QString &name);
  void addMember(const QString &typeName, const QString &memberName, SlotKind kind,
                 const QString &memberTypeName = {});
  void addVariable(const QString &name, SlotKind kind, const QString &typeName = {});

  int findType(const QString &name) const;
  int findVariable(const QString &name) const;
  int findVariable(QStringView name) const;
  int countSlots(int node) const;
  // TypeDefinition when the type has no such slot.
  SlotKind slotKind(int typeNode, int slot) const;
  // -1 when the path names no member.
  int memberSlot(int typeNode, const QString &path) const;
  int memberSlot(int typeNode, QStringView path) const;

  // Empty when the variable, or its member, does not exist.
  Value getValue(const QString &name) const;
  Value getValue(QStringView name) const;
  void setValue(const QString &name, const Value &value);

  int typeCount() const { return int(m_types.size()); }
  int variableCount() const { return int(m_variables.size()); }
  const TypeNode &type(int i) const { return m_types[size_t(i)]; }
  const VariableRecord &variable(int i) const { return m_variables[size_t(i)]; }

private:
  // The first slot of every member path of one type, sorted by path.
  struct MemberPaths {
    bool built = false;
    std::vector<std::pair<QString, int>> slots;
  };
  const MemberPaths &memberPaths(int typeNode) const;
  void typesChanged() { m_pathCache.clear(); }

  std::vector<TypeNode> m_types;
  std::vector<VariableRecord> m_variables;
  // Filled on lookup, so reading a constant does not walk its type every time; only the
  // type functions change paths, and they empty it.
  mutable std::vector<MemberPaths> m_pathCache;
};

void initValue(Value &slot, SlotKind kind);
// A member of NUV: the system pointers (NUV.MP*) and the RESTRICTMOVE modes (NUV.RM*).
struct EngineConstant {
  QStringView member;
  Value value;
  QStringView about;
};
std::span<const EngineConstant> engineConstants();
// Empties the store and declares NUV with every member of engineConstants().
void registerConstants(ValueStore &store);

} // namespace nuv
