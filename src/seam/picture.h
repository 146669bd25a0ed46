// A decoded picture as the layers hand it to each other: the host decodes, the platform shows.
#pragma once

#include <memory>

class QImage;

namespace nuv {

// Shared by every user of the same location; null means no picture. Whoever holds one keeps its
// pixels alive, so the host's picture table counts it as in use.
using Picture = std::shared_ptr<const QImage>;

// The frames of a pointer file, decoded by the host (see pointerfile.h).
struct PointerPicture;

} // namespace nuv
