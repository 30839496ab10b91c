#pragma once

#include <cstddef>
#include <cstdint>

struct AVFrame;

namespace vexa {

// The process-wide deinterlace switch of the scripting interface; off at start. Only the H.264
// path reads it.
void SetDeinterlace(bool enabled);
bool deinterlaceEnabled();

// Planes of a picture laid out inside a caller's buffer.
struct PlanarPicture {
  uint8_t* planes[4] = {};
  int linesizes[4] = {};
};

// Deinterlaces by line blending: every output line is (above + 2 x line + below) / 4 of its
// plane, so both fields contribute to each line and combing on moving edges disappears, at the
// cost of some vertical sharpness. Works on any 8-bit-per-sample format (every plane, luma and
// chroma alike); writes into buffer in the frame's own format. False, and nothing written, when
// the format has other sample sizes or the picture does not fit into capacity.
bool blendFields(const AVFrame& source, uint8_t* buffer, size_t capacity, PlanarPicture* out);

// One plane: rows of rowBytes samples.
void blendPlane(const uint8_t* source, int sourceStride, uint8_t* destination,
                int destinationStride, int rowBytes, int rows);

}  // namespace vexa
