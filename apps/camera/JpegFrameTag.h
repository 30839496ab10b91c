#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace vexa::camera {

// The camera marks every JPEG with the index of its generated picture in a comment segment, so
// that a test holding a received or displayed picture can ask the generator for the original.

// Inserts the comment after the start-of-image marker and the JFIF segment; a buffer that does not
// start like a JPEG is left as it is.
void tagFrameIndex(std::vector<uint8_t>& jpeg, uint32_t index);

// The index a tag holds; nullopt when the JPEG carries none before its scan or is malformed.
std::optional<uint32_t> taggedFrameIndex(std::span<const uint8_t> jpeg);

}  // namespace vexa::camera
