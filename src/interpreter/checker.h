// Finds what a document gets wrong without running it: the faults parseContent passes over.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace nuv {

enum class Severity { Warning, Error };

struct Finding {
  int line = 0; // 1-based index into the checked lines
  Severity severity = Severity::Error;
  QString text;
  // The document stops short here: a block or a quote is never closed, as in a file saved in the
  // middle of an edit. Everything else a finding names is a line the engine passes over.
  bool unfinished = false;
};

// Whether a file a document names, as the document wrote it, can be had. Remote locations are
// the host's to judge; a probe may simply say yes to them.
using FileProbe = std::function<bool(const QString &location)>;

// Checks a document's lines as parseContent would walk them, with the words the interpreter
// dispatches from: statements unknown where they stand, commands on objects never declared,
// words an object's kind does not have (warnings: the engine passes over such a line), blocks and
// quotes never closed, unknown OBJECT kinds and local files that do not exist (errors). One
// finding per fault, in line order.
std::vector<Finding> checkDocument(const QStringList &lines, const FileProbe &fileExists);

} // namespace nuv
