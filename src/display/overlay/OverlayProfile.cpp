#include "display/overlay/OverlayProfile.h"

#include <array>
#include <string_view>

namespace vexa {

namespace {

// One column of a profile row: any text, exactly this text, or anything but it.
struct Match {
  enum Kind { kAny, kIs, kIsNot } kind = kAny;
  std::string_view text;

  bool accepts(const std::string& value) const {
    return kind == kAny || (value == text) == (kind == kIs);
  }
};

constexpr Match any() { return {}; }
constexpr Match is(std::string_view text) { return {Match::kIs, text}; }
constexpr Match isNot(std::string_view text) { return {Match::kIsNot, text}; }

// Where a row puts the region origin.
enum class Origin {
  kZero,
  kKept,         // the geometry sets it from the picture size
  kByKind,       // masks and motion windows count their columns from different edges
  kFourPxDown,
};

constexpr int kKeptGridType = -1;

struct ProfileRow {
  std::string_view model;
  Match sensor, resolution, webVersion;
  int gridType;
  Origin origin;
};

// The first row that matches decides; a model of no row gets grid type 0 at (0, 0).
constexpr std::array<ProfileRow, 13> kProfile = {{
    {"TQ311", isNot("ICX445"), any(), any(), 1, Origin::kZero},
    {"TQ311", is("ICX445"), isNot("1280x960"), any(), 2, Origin::kZero},
    {"TQ311", is("ICX445"), is("1280x960"), any(), 3, Origin::kZero},
    {"TQ312", isNot("IMX035"), isNot("1280x1024"), any(), 4, Origin::kZero},
    {"TQ312", isNot("IMX035"), is("1280x1024"), any(), 6, Origin::kByKind},
    {"TQ312", is("IMX035"), isNot("1280x1024"), isNot("0.1"), 4, Origin::kZero},
    {"TQ312", is("IMX035"), isNot("1280x1024"), is("0.1"), 5, Origin::kFourPxDown},
    {"TQ312", is("IMX035"), is("1280x1024"), any(), 4, Origin::kZero},
    {"TQ323", any(), is("1280x1024"), any(), 10, Origin::kKept},
    {"TQ323", any(), is("1920x1080"), any(), 7, Origin::kKept},
    {"TQ323", any(), is("2592x1944"), any(), 9, Origin::kKept},
    {"TQ323", any(), is("2048x1536"), any(), 8, Origin::kKept},
    {"TQ323", any(), any(), any(), kKeptGridType, Origin::kKept},
}};

constexpr int kMaskOriginX = 10;
constexpr int kMotionOriginX = 6;
constexpr int kFourPxDownY = 4;

OverlayGridChoice choiceOf(const ProfileRow& row, int kind, int currentGridType) {
  OverlayGridChoice choice{row.gridType == kKeptGridType ? currentGridType : row.gridType};
  choice.setsOrigin = row.origin != Origin::kKept;
  if (row.origin == Origin::kByKind) choice.originX = kind != 0 ? kMotionOriginX : kMaskOriginX;
  if (row.origin == Origin::kFourPxDown) choice.originY = kFourPxDownY;
  return choice;
}

}  // namespace

OverlayGridChoice OverlayProfile::choose(int kind, int currentGridType) const {
  for (const ProfileRow& row : kProfile) {
    if (model == row.model && row.sensor.accepts(sensor) && row.resolution.accepts(resolution) &&
        row.webVersion.accepts(webVersion)) {
      return choiceOf(row, kind, currentGridType);
    }
  }
  return {0, true, 0, 0};
}

}  // namespace vexa
