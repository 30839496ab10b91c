#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace vexa {

// Where the parts of one MPEG-4 picture as received lie: configuration headers (visual object
// sequence, visual object, video object layer), a group-of-VOPs header, then exactly one video
// object plane.
struct Mpeg4PictureLayout {
  size_t start = 0;               // the first start code; bytes before it are not the picture's
  size_t vop = 0;                 // the VOP start code
  bool hasConfiguration = false;  // a video object layer header comes before the VOP
  bool intra = false;             // the VOP's coding type is I
  bool operator==(const Mpeg4PictureLayout&) const = default;
};

// The layout of one picture, or nullopt when it holds no VOP whose coding type can be read, or
// a second picture (another VOP or configuration behind the first VOP).
std::optional<Mpeg4PictureLayout> findMpeg4PictureLayout(std::span<const uint8_t> picture);

// How bytes that may open a picture open it: not at all (no start code at their first byte), with
// headers only so far, or with a VOP of the given coding type.
enum class Mpeg4Opening { kNotAPictureStart, kNoVopYet, kIntra, kPredicted };
Mpeg4Opening mpeg4OpeningOf(std::span<const uint8_t> bytes);

}  // namespace vexa
