// The system temporary folder and unique temporary files in it.
#pragma once

#include <QString>

namespace nuv {

// The temporary folder, ending in "/".
QString tempFolderPath();
// Creates a new empty file "jov*" in the temporary folder and returns its path;
// "" when none could be created.
QString tempFileName();

} // namespace nuv
