// Object registration and lookup by name.
#include "objectmodel.h"

namespace nuv {

// Seeded per process, so a document cannot pick names that all collide.
ObjectModel::NameKey::NameKey(const QString &upperName)
    : name(upperName), hash(qHash(QStringView(upperName), QHashSeed::globalSeed())) {}

int ObjectModel::registerObject(QString &name, ControlId control, ObjectKind kind,
                                int recordIndex) {
  name = nameOfNext(name);
  const int n = objectIndex.append();
  objectIndex[n] = ObjectIndexEntry{name, kind, control, recordIndex};
  // The earliest entry of a name wins; entries count from 1, so 0 marks a name just added.
  int &first = m_firstByName[NameKey(name.toUpper())];
  if (first == 0) first = n;
  return n;
}

QString ObjectModel::nameOfNext(const QString &declared) const {
  if (!declared.isEmpty()) return declared;
  return QStringLiteral("Object") + QString::number(objectIndex.count() + 1);
}

int &ObjectModel::elementCount(ObjectKind buttonKind) {
  switch (buttonKind) {
  case ObjectKind::TextPictureButton:
    return tgrButtonCount;
  case ObjectKind::PictureButton:
    return grfButtonCount;
  case ObjectKind::ShapedButton:
    return shpButtonCount;
  default:
    Q_ASSERT_X(buttonKind == ObjectKind::TextButton, "elementCount", "only buttons are counted");
    return txtButtonCount;
  }
}

int ObjectModel::findObject(const QString &upperName) const {
  return m_firstByName.value(NameKey(upperName), -1);
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
