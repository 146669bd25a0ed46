// Whether this machine can reach any network at all, as opposed to one server being down.
#pragma once

#include <QString>

namespace nuv {

// True when an interface other than loopback is up and has an address. Without one no server
// beyond this machine can be reached, whatever the address.
bool anyNetworkUp();

// True when the address names this machine (localhost, 127.0.0.0/8, ::1): reaching it needs no
// network, so failing to reach it never means the machine is offline.
bool namesThisMachine(const QString &url);

} // namespace nuv
