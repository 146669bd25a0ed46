// The object model: record tables, the object name index and the link from controls to records.
#pragma once

#include "windowsystem.h"

#include <QHash>
#include <QString>

#include <deque>

namespace nuv {

struct ButtonRecord {
  QString name;
  QString type = QStringLiteral("TEXT");
  QString caption;
  int top = 0;
  int left = 0;
  int width = 100;
  int height = 30;
  QString bitmap;
  QString downBitmap;
  QString overBitmap;
  bool shaped = false;
  bool visible = true;
  int controlIndex = 0;
  QString onClick;
  // Kept as documents give them; no control event runs these three.
  QString onDoubleClick;
  QString onMouseDown;
  QString onMouseUp;
  QString onMouseOver;
  // Declared by a page's command: its blocks run on the page's behalf.
  bool declaredByPage = false;

  bool operator==(const ButtonRecord &) const = default;
};

struct InputBoxRecord {
  QString name;
  int top = 0;
  int left = 0;
  int width = 200;
  int height = 20;
  QString text;
  bool visible = true;
  QString onChanged;
  // Declared by a page's command: its blocks run on the page's behalf.
  bool declaredByPage = false;

  bool operator==(const InputBoxRecord &) const = default;
};

struct BrowserRecord {
  QString name;
  QString type;
  QString mask;
  QString home;
  QString location;
  QString targetUrl;
  bool shaped = false;
  bool jsErrors = false;
  int top = 0;
  int left = 0;
  int width = 0;
  int height = 0;
  bool visible = true;
  QString onBeforeNavigate;
  QString onAfterNavigate;
  // Declared by a page's command: its blocks run on the page's behalf.
  bool declaredByPage = false;

  bool operator==(const BrowserRecord &) const = default;
};

struct FormRecord {
  QString name;

  bool operator==(const FormRecord &) const = default;
};

struct ObjectIndexEntry {
  QString name;
  ObjectKind kind = ObjectKind::TextButton;
  ControlId control = 0;
  int recordIndex = 0; // the control's tag

  bool operator==(const ObjectIndexEntry &) const = default;
};

// A table indexed from 1: slot 0 exists and is never used. Tables only grow,
// and runs nest, so callers hold indices, never references, across statements. A deque grows
// without moving what it holds: a document of many objects never copies its table again.
template <typename Record> class RecordTable {
public:
  RecordTable() : m_records(1) {}
  int count() const { return int(m_records.size()) - 1; }
  int append() {
    m_records.emplace_back();
    return count();
  }
  Record &operator[](int i) { return m_records.at(size_t(i)); }
  const Record &operator[](int i) const { return m_records.at(size_t(i)); }
  bool contains(int i) const { return i >= 1 && i <= count(); }
  void clear() { m_records.resize(1); }
  bool operator==(const RecordTable &) const = default;

private:
  std::deque<Record> m_records;
};

class ObjectModel {
public:
  RecordTable<ButtonRecord> buttonTable;
  RecordTable<InputBoxRecord> inputBoxTable;
  RecordTable<BrowserRecord> browserTable;
  RecordTable<FormRecord> formTable;
  RecordTable<ObjectIndexEntry> objectIndex;

  // Element counts of the button collections (input boxes and browsers use their record index).
  int txtButtonCount = 0;
  int tgrButtonCount = 0;
  int grfButtonCount = 0;
  int shpButtonCount = 0;
  // The count of a button kind's collection.
  int &elementCount(ObjectKind buttonKind);

  // Appends an entry; an empty name becomes "Object<n>" and is written back.
  int registerObject(QString &name, ControlId control, ObjectKind kind, int recordIndex);
  // The name the next entry registered with this declared name gets.
  QString nameOfNext(const QString &declared) const;
  // Case-insensitive, earliest entry wins; -1 when none. upperName must be upper case.
  int findObject(const QString &upperName) const;

  void reset();

private:
  // An upper-cased name with its hash kept beside it: growing the table and probing it then
  // compare stored hashes instead of reading every name again, which large documents feel.
  struct NameKey {
    explicit NameKey(const QString &upperName);
    QString name;
    size_t hash;
    bool operator==(const NameKey &other) const { return hash == other.hash && name == other.name; }
    friend size_t qHash(const NameKey &key, size_t seed) { return key.hash ^ seed; }
  };

  // Upper-cased name to its earliest entry, so lookups stay constant-time in large documents.
  QHash<NameKey, int> m_firstByName;
};

} // namespace nuv
