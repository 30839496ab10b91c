#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vexa {

// Picks the picture column each shown column takes out of a row of 8-bit samples: the cost of
// showing a picture at another size. A picture shown at about its own size is mostly runs of
// neighbouring columns, which are copied; otherwise blocks of 16 shown columns whose samples lie
// within 32 of each other are picked by two byte shuffles where the processor has them; the
// rest one by one.
class ColumnPick {
 public:
  // columns: ascending picture columns, each below rowSamples.
  void assign(const std::vector<int>& columns, int rowSamples);
  void pick(const uint8_t* row, uint8_t* out) const;

  static constexpr size_t kBlockColumns = 16;

  struct ShuffleBlock {
    alignas(16) uint8_t low[kBlockColumns];   // positions in the first 16 samples from base
    alignas(16) uint8_t high[kBlockColumns];  // and in the next 16
    int base;
  };

 private:
  void assignRuns();
  void assignBlocks(int rowSamples);

  struct Run {
    size_t out;
    int in;
    size_t length;
  };
  std::vector<int> columns_;
  std::vector<Run> runs_;
  std::vector<ShuffleBlock> blocks_;  // the leading blocks of 16 shown columns
};

}  // namespace vexa
