// Arbitrary bytes through the document path (parseContent) and the value readers.
#include "../tests/support/nullwindowsystem.h"
#include "interpreter.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const QString text =
      QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));

  nuv::test::NullWindowSystem windows;
  nuv::test::NullResources resources;
  nuv::Interpreter interpreter(windows, resources);
  // Declare one object first so property references have something to reach.
  QString prelude = QStringLiteral("OBJECT BUTTON\nNAME B\nCAPTION 'c'\nENDOBJECT");
  interpreter.parseContent(prelude);

  QString document = text;
  interpreter.parseContent(document);

  const nuv::Evaluator &evaluator = interpreter.evaluator();
  (void)evaluator.stringValue(text, 1);
  (void)evaluator.longValue(text, 1);
  (void)evaluator.booleanValue(text, 1);
  int pos = 1;
  (void)evaluator.resolveValue(text, pos, u"STRING");
  return 0;
}
