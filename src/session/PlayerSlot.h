#pragma once

#include <cstdint>
#include <string>

namespace vexa {

// A player's slot, claimed by creating a marker file in the temporary folder so that players in
// other processes on the same machine never pick the same client ports.
class PlayerSlot {
 public:
  static constexpr uint32_t kSlotCount = 1000;
  static constexpr const char* kMarkerPrefix = "VexaPlayerTmp.";

  // Creates the first free marker file; 0 when every number is taken.
  static uint32_t claim(const std::string& folder);
  // Deletes the marker file of a slot.
  static void release(const std::string& folder, uint32_t slot);
  static std::string markerPath(const std::string& folder, uint32_t number);
};

}  // namespace vexa
