// The typed value store: user types with members, variables with slots, and the engine constants.
#include "valuestore.h"

#include <algorithm>
#include <functional>

namespace nuv {

namespace {

// Types nest only through the store's own API, but a type that contains itself (directly or
// through others) would otherwise expand without end, and nested repeats multiply the slots.
constexpr int kMaxTypeDepth = 32;
constexpr int kMaxSlots = 1 << 16;

// Walks the scalar slots below a type in depth-first member order. A member whose type is
// already being expanded, or lies too deep, stays one opaque slot of its own kind.
class SlotWalker {
public:
  // Returns true to stop the walk.
  using Visit = std::function<bool(int slot, const TypeNode &member, const QString &path)>;

  SlotWalker(const std::vector<TypeNode> &types, bool wantPaths, Visit visit)
      : m_types(types), m_wantPaths(wantPaths), m_visit(std::move(visit)) {}

  int walk(int typeNode) {
    if (!isType(typeNode)) return 0;
    walkType(typeNode, QString(), 0);
    return m_slots;
  }

  // The type a member expands into, or -1 when it is one slot.
  int expansion(const TypeNode &member, int depth) const {
    if (member.children.empty() || depth + 1 >= kMaxTypeDepth) return -1;
    const int inner = member.children.front();
    if (!isType(inner) || m_types[size_t(inner)].children.empty()) return -1;
    if (std::find(m_open.begin(), m_open.end(), inner) != m_open.end()) return -1;
    return inner;
  }

private:
  bool isType(int node) const {
    return node >= 0 && size_t(node) < m_types.size() &&
           m_types[size_t(node)].kind == SlotKind::TypeDefinition;
  }

  void walkType(int typeNode, const QString &prefix, int depth) {
    m_open.push_back(typeNode);
    for (int child : m_types[size_t(typeNode)].children) {
      if (m_stopped || m_slots >= kMaxSlots) break;
      if (child < 0 || size_t(child) >= m_types.size()) continue;
      const TypeNode &member = m_types[size_t(child)];
      const QString path = !m_wantPaths       ? QString()
                           : prefix.isEmpty() ? member.name
                                              : prefix + member.name;
      const int inner = expansion(member, depth);
      if (inner >= 0) {
        walkType(inner, m_wantPaths ? path + u'.' : QString(), depth + 1);
        continue;
      }
      m_stopped = m_visit && m_visit(m_slots, member, path);
      ++m_slots;
    }
    m_open.pop_back();
  }

  const std::vector<TypeNode> &m_types;
  bool m_wantPaths;
  Visit m_visit;
  std::vector<int> m_open;
  int m_slots = 0;
  bool m_stopped = false;
};

struct NameParts {
  QStringView variable;
  QStringView path;
};

NameParts splitName(QStringView name) {
  const qsizetype dot = name.indexOf(u'.');
  if (dot < 0) return {name, QStringView()};
  return {name.left(dot), name.mid(dot + 1)};
}

bool pathLess(const std::pair<QString, int> &entry, QStringView path) {
  return QStringView(entry.first).compare(path) < 0;
}

} // namespace

void initValue(Value &slot, SlotKind kind) {
  switch (kind) {
  case SlotKind::Number:
    slot = qint16(0);
    return;
  case SlotKind::Text:
    slot = QString();
    return;
  case SlotKind::Boolean:
    slot = false;
    return;
  case SlotKind::UserType:
  case SlotKind::TypeDefinition:
    return;
  }
}

void ValueStore::heapInit() {
  m_types.clear();
  m_variables.clear();
  typesChanged();
}

void ValueStore::addType(const QString &name) {
  m_types.push_back(TypeNode{name, SlotKind::TypeDefinition, {}});
  typesChanged();
}

void ValueStore::addMember(const QString &typeName, const QString &memberName, SlotKind kind,
                           const QString &memberTypeName) {
  const int owner = findType(typeName);
  if (owner < 0 || kind == SlotKind::TypeDefinition) return;
  typesChanged();
  const int node = typeCount();
  m_types.push_back(TypeNode{memberName, kind, {}});
  m_types[size_t(owner)].children.push_back(node);
  if (kind != SlotKind::UserType) return;
  const int memberType = findType(memberTypeName);
  if (memberType >= 0) m_types[size_t(node)].children.push_back(memberType);
}

void ValueStore::addVariable(const QString &name, SlotKind kind, const QString &typeName) {
  if (kind == SlotKind::TypeDefinition) return;
  if (kind != SlotKind::UserType) {
    VariableRecord record{name, kind, -1, std::vector<Value>(1)};
    initValue(record.values.front(), kind);
    m_variables.push_back(std::move(record));
    return;
  }
  const int type = findType(typeName);
  if (type < 0) return;
  VariableRecord record{name, kind, type, {}};
  SlotWalker(m_types, false, [&record](int, const TypeNode &member, const QString &) {
    record.values.emplace_back();
    initValue(record.values.back(), member.kind);
    return false;
  }).walk(type);
  m_variables.push_back(std::move(record));
}

int ValueStore::findType(const QString &name) const {
  for (size_t i = 0; i < m_types.size(); ++i) {
    if (m_types[i].kind == SlotKind::TypeDefinition && m_types[i].name == name) return int(i);
  }
  return -1;
}

int ValueStore::findVariable(const QString &name) const {
  return findVariable(QStringView(name));
}

int ValueStore::findVariable(QStringView name) const {
  for (size_t i = 0; i < m_variables.size(); ++i) {
    if (m_variables[i].name == name) return int(i);
  }
  return -1;
}

int ValueStore::countSlots(int node) const {
  if (node < 0 || node >= typeCount()) return 0;
  const TypeNode &n = m_types[size_t(node)];
  SlotWalker walker(m_types, false, nullptr);
  if (n.kind == SlotKind::TypeDefinition) return walker.walk(node);
  // A member node: the slots of its type, or one slot when that type has no members.
  if (n.children.empty()) return 0;
  const int inner = walker.expansion(n, 0);
  return inner >= 0 ? walker.walk(inner) : 1;
}

SlotKind ValueStore::slotKind(int typeNode, int slot) const {
  SlotKind kind = SlotKind::TypeDefinition;
  SlotWalker(m_types, false, [&](int j, const TypeNode &member, const QString &) {
    if (j != slot) return false;
    kind = member.kind;
    return true;
  }).walk(typeNode);
  return kind;
}

int ValueStore::memberSlot(int typeNode, const QString &path) const {
  return memberSlot(typeNode, QStringView(path));
}

int ValueStore::memberSlot(int typeNode, QStringView path) const {
  if (typeNode < 0 || typeNode >= typeCount()) return -1;
  const auto &slots = memberPaths(typeNode).slots;
  const auto at = std::lower_bound(slots.begin(), slots.end(), path, pathLess);
  if (at == slots.end() || at->first != path) return -1;
  return at->second;
}

const ValueStore::MemberPaths &ValueStore::memberPaths(int typeNode) const {
  if (m_pathCache.size() != m_types.size()) m_pathCache.assign(m_types.size(), MemberPaths{});
  MemberPaths &paths = m_pathCache[size_t(typeNode)];
  if (paths.built) return paths;
  paths.built = true;
  SlotWalker(m_types, true, [&paths](int j, const TypeNode &, const QString &slotPath) {
    paths.slots.emplace_back(slotPath, j);
    return false;
  }).walk(typeNode);
  // Walk order is slot order, so a stable sort keeps the first slot of a repeated path first.
  std::stable_sort(paths.slots.begin(), paths.slots.end(),
                   [](const auto &a, const auto &b) { return pathLess(a, b.first); });
  return paths;
}

Value ValueStore::getValue(const QString &name) const {
  return getValue(QStringView(name));
}

Value ValueStore::getValue(QStringView name) const {
  const NameParts parts = splitName(name);
  const int index = findVariable(parts.variable);
  if (index < 0) return {};
  const VariableRecord &record = m_variables[size_t(index)];
  if (record.kind != SlotKind::UserType) return record.values.front();
  const int slot = memberSlot(record.typeIndex, parts.path);
  if (slot < 0 || size_t(slot) >= record.values.size()) return {};
  return record.values[size_t(slot)];
}

void ValueStore::setValue(const QString &name, const Value &value) {
  const NameParts parts = splitName(name);
  const int index = findVariable(parts.variable);
  if (index < 0) return;
  VariableRecord &record = m_variables[size_t(index)];
  if (record.kind != SlotKind::UserType) {
    record.values.front() = value;
    return;
  }
  const int slot = memberSlot(record.typeIndex, parts.path);
  if (slot < 0 || size_t(slot) >= record.values.size()) return;
  record.values[size_t(slot)] = value;
}

std::span<const EngineConstant> engineConstants() {
  // Member order is slot order; the MP values are the system pointer identifiers.
  static const EngineConstant constants[] = {
      {u"MPDefault", QString(), u"each place's own pointer"},
      {u"MPAppStarting", qint32(32650), u"arrow with an hourglass"},
      {u"MPArrow", qint32(32512), u"arrow"},
      {u"MPCross", qint32(32515), u"cross-hair"},
      {u"MPHand", qint32(32649), u"pointing hand"},
      {u"MPHelp", qint32(32651), u"arrow with a question mark"},
      {u"MPIBeam", qint32(32513), u"text cursor"},
      {u"MPWait", qint32(32514), u"hourglass"},
      {u"MPUpArrow", qint32(32516), u"upward arrow"},
      {u"MPSizeWE", qint32(32644), u"left-right arrow"},
      {u"MPSizeNWSE", qint32(32642), u"diagonal arrow, top left to bottom right"},
      {u"MPSizeNS", qint32(32645), u"up-down arrow"},
      {u"MPSizeNESW", qint32(32643), u"diagonal arrow, top right to bottom left"},
      {u"MPSizeAll", qint32(32646), u"four-way arrow"},
      {u"MPNo", qint32(32648), u"slashed circle"},
      {u"RMNone", qint16(0), u"RESTRICTMOVE: the window moves freely"},
      {u"RMNoMove", qint16(1), u"RESTRICTMOVE: the window does not move"},
      {u"RMHorizontalOnly", qint16(2), u"RESTRICTMOVE: only sideways"},
      {u"RMVerticalOnly", qint16(3), u"RESTRICTMOVE: only up and down"},
  };
  return constants;
}

void registerConstants(ValueStore &store) {
  const std::span<const EngineConstant> constants = engineConstants();
  const QString typeName = QStringLiteral("typeNUVConstants");
  store.heapInit();
  store.addType(typeName);
  for (const EngineConstant &c : constants) {
    const SlotKind kind =
        std::holds_alternative<QString>(c.value) ? SlotKind::Text : SlotKind::Number;
    store.addMember(typeName, c.member.toString(), kind);
  }
  store.addVariable(QStringLiteral("NUV"), SlotKind::UserType, typeName);
  for (const EngineConstant &c : constants)
    store.setValue(QStringLiteral("NUV.") + c.member.toString(), c.value);
}

} // namespace nuv
