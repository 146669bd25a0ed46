// Object registration and lookup by name.
#include "objectmodel.h"

namespace nuv {

int ObjectModel::registerObject(QString &name, ControlId control, const QString &kind,
                                int recordIndex) {
  const int n = objectIndex.append();
  if (name.isEmpty()) name = QStringLiteral("Object") + QString::number(n);
  objectIndex[n] = ObjectIndexEntry{name, kind, control, recordIndex};
  const QString key = name.toUpper();
  if (!m_firstByName.contains(key)) // the earliest entry of a name wins
    m_firstByName.insert(key, n);
  return n;
}

int ObjectModel::findObject(const QString &upperName) const {
  return m_firstByName.value(upperName, -1);
}

void ObjectModel::reset() {
  buttonTable.clear();
  inputBoxTable.clear();
  browserTable.clear();
  formTable.clear();
  objectIndex.clear();
  m_firstByName.clear();
  txtButtonCount = tgrButtonCount = grfButtonCount = shpButtonCount = 0;
}

} // namespace nuv
