#pragma once

#include <cstdint>
#include <string>

namespace vexa::platform {

// The temporary folder ($TMPDIR or /tmp), always ending in "/".
std::string tempFolder();

// Seconds to subtract from UTC to get local standard time (no daylight-saving correction);
// positive west of Greenwich, as the original time-zone bias is.
int64_t standardTimeBiasSeconds();

// The host name of this computer.
std::string computerName();

}  // namespace vexa::platform
