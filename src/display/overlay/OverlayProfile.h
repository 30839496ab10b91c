#pragma once

#include <string>

namespace vexa {

// What a camera's model, sensor, resolution and web version say about its overlay grid.
struct OverlayGridChoice {
  int gridType = 0;  // 0..10
  bool setsOrigin = false;
  int originX = 0;
  int originY = 0;
  bool operator==(const OverlayGridChoice&) const = default;
};

// The camera description the grid type follows. Texts are compared whole and exactly, so empty,
// oversized or NUL-carrying texts simply match no row.
struct OverlayProfile {
  std::string model;
  std::string sensor;
  std::string resolution;
  std::string webVersion;

  // The grid type for the overlay kind of the last add (0 mask, 1 motion, 2 region of interest).
  // Some rows keep the current grid type or leave the origin to the geometry.
  OverlayGridChoice choose(int kind, int currentGridType) const;
};

}  // namespace vexa
