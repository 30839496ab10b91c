#pragma once

#include <cstddef>
#include <cstdint>

struct AVFrame;

namespace vexa {

// The process-wide deinterlace switch of the scripting interface; off at start. Only the H.264
// path reads it.
void SetDeinterlace(bool enabled);
bool deinterlaceEnabled();

// Deinterlaces by line blending: every output line is (above + 2 x line + below) / 4 of its
// plane, so both fields contribute to each line and combing on moving edges disappears, at the
// cost of some vertical sharpness. Works on any 8-bit-per-sample format (every plane, luma and
// chroma alike); writes into destination's own buffers (made or reused as ffmpeg::prepareFrame
// does) in the source's format and colour description. False when the format has other sample
// sizes or no buffer could be had.
bool blendFields(const AVFrame& source, AVFrame* destination);

// One plane: rows of rowBytes samples.
void blendPlane(const uint8_t* source, int sourceStride, uint8_t* destination,
                int destinationStride, int rowBytes, int rows);

}  // namespace vexa
