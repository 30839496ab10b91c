#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vexa::base64 {

// Standard alphabet, "=" padding, no line breaks.
std::string encode(std::span<const uint8_t> bytes);
std::string encode(std::string_view text);

// Skips characters outside the alphabet and stops at the first "=".
std::vector<uint8_t> decode(std::string_view text);

}  // namespace vexa::base64
