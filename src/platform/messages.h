// Message boxes: modal on a desktop, one line on standard error in automated runs.
#pragma once

#include "windowsystem.h"

#include <QString>

namespace nuv {

// NUV_MESSAGES=stderr, or the offscreen platform: nobody could press OK.
bool messagesGoToStandardError();
void showMessageBox(const QString &title, const QString &text, MessageIcon icon);

} // namespace nuv
