#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "common/StreamConfig.h"

namespace vexa {

// Looks a host name up; the dotted IPv4 text of its first address, or empty when it fails.
using HostResolver = std::function<std::string(const std::string& name)>;

// The stream's path when the address gives none, by stream model.
std::string defaultStreamPath(uint32_t model);
// The stream name the pan/tilt/zoom sender uses, by model and path.
std::string streamNameFor(uint32_t model, std::string_view path);

// Whether Play takes this model: 0..19 but 3, 11 and 16, which have no handler.
bool playAccepts(int32_t model);
// Whether Mute may switch this model's sound: all of 0..19 but 2 (no sound), 3 and 11.
bool hasSoundSwitch(uint32_t model);

// Applies a camera address "[scheme://][user[:password]@]host[:port][/path]" to config: host
// (resolved when it is a name; an IPv6 address in brackets), both ports when one is given, the
// user name and password when given (percent-decoded), and the path (the model's default when
// the address has at most "/"). Values not given keep what config held.
void applyStreamAddress(std::string_view url, StreamConfig& config, const HostResolver& resolve);

}  // namespace vexa
