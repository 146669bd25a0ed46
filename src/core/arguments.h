// Command-line texts: cutting one text into arguments and reading placement values.
#pragma once

#include <QStringList>
#include <QStringView>

namespace nuv {

// Cuts at every " -" (blank, minus); pieces are trimmed and empty ones dropped.
// Used where one text carries several arguments, such as NEW's extra arguments.
QStringList cutArguments(QStringView text);

// True for the options that only place a window: "-x:", "-y:", "-ox:", "-oy:", "-relative" and
// "-nomove", recognised as the command line recognises them (case-insensitive prefixes).
bool isPlacementOption(QStringView argument);

// A "-x:"/"-y:" style value in pixels: the leading number rounded half to even;
// a trailing "-" counts from the far edge of a screen of the given extent.
int placementValue(QStringView text, int screenExtent);

} // namespace nuv
