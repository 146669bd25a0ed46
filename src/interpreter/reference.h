// The language reference, printed from the tables the interpreter runs documents with.
#pragma once

#include <QString>

namespace nuv {

// Every statement, object kind with its properties, commands, readable values and events, the
// words that shape a document and the NUV constants: each with what it takes and an example, as
// Markdown.
QString languageReference();

} // namespace nuv
