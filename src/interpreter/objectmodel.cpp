// Object registration and lookup by name.
#include "objectmodel.h"

namespace nuv {

int ObjectModel::registerObject(QString &name, ControlId control, const QString &kind,
                                int recordIndex) {
  const int n = objectIndex.append();
  if (name.isEmpty()) name = QStringLiteral("Object") + QString::number(n);
  objectIndex[n] = ObjectIndexEntry{name, kind, control, recordIndex};
  return n;
}

int ObjectModel::findObject(const QString &upperName) const {
  for (int i = 1; i <= objectIndex.count(); ++i) {
    if (objectIndex[i].name.compare(upperName, Qt::CaseInsensitive) == 0) return i;
  }
  return -1;
}

void ObjectModel::reset() {
  buttonTable.clear();
  inputBoxTable.clear();
  browserTable.clear();
  formTable.clear();
  objectIndex.clear();
  txtButtonCount = tgrButtonCount = grfButtonCount = shpButtonCount = 0;
}

} // namespace nuv
