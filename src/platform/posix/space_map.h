#pragma once

#include "platform/platform.h"

#include <optional>
#include <vector>

namespace klar {

/// The free ranges of xfs's own map and its allocation groups, for the volume the descriptor
/// is on (unlisted where the map is refused); nullopt on any other filesystem.
std::optional<KeptSpace> XfsKeptSpace(int fd);

/// The written extents of the file open on fd, where they lie on its device, after its data
/// is forced out; false with errno set where the system cannot say.
bool WrittenExtents(int fd, std::vector<FillerExtent>& out);

} // namespace klar
