#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vexa::viewer {

// One overlay line of the command line or an overlay file:
//   mask NAME X Y W H                      a privacy mask
//   motion NAME X1 Y1 X2 Y2                a motion window (NAME "-": the unnamed kind)
//   roi NAME X Y W H AX AY MINW MINH       a region of interest
//   client-mask NAME X Y W H               a mask the viewer paints (80 x 60 units)
//   client-colour R G B ALPHA              the client masks' colour and opacity (0..1)
// Blank lines and lines starting with # say nothing.
struct OverlayItem {
  enum class Kind { kMask, kMotion, kRoi, kClientMask, kClientColour };
  Kind kind = Kind::kMask;
  std::string name;
  bool unnamed = false;  // motion "-"
  std::array<int32_t, 8> values{};
  double alpha = 0;
};

constexpr size_t kMaxOverlayLineBytes = 1024;
constexpr size_t kMaxOverlayFileBytes = 64 * 1024;

struct OverlayItems {
  std::vector<OverlayItem> items;
  std::string error;  // names the line; empty when all were good
};

// Adds the lines of text to items. An error starts with source, then the line number when
// numberLines ("cams.txt:3: ..." against "--overlay 'mask a 1': ...").
void parseOverlayText(std::string_view text, std::string_view source, bool numberLines,
                      OverlayItems& items);
// The file's lines, refused above kMaxOverlayFileBytes.
void readOverlayFile(const std::string& path, OverlayItems& items);

}  // namespace vexa::viewer
