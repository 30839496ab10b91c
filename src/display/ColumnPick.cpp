#include "display/ColumnPick.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define VEXA_BYTE_SHUFFLE 1
#endif

namespace vexa {

namespace {

// Runs at least this long on average are copied; shorter ones cost more than picking.
constexpr size_t kCopiedRunLength = 16;
// A shuffle reads two 16-byte loads from a block's first sample.
constexpr int kShuffleReach = 32;
constexpr uint8_t kNoSample = 0x80;  // a shuffle position that gives zero

#if VEXA_BYTE_SHUFFLE
bool byteShuffleAvailable() {
  static const bool available = __builtin_cpu_supports("ssse3");
  return available;
}

__attribute__((target("ssse3"))) void pickBlocks(const ColumnPick::ShuffleBlock* blocks,
                                                 size_t count, const uint8_t* row, uint8_t* out) {
  for (size_t b = 0; b < count; ++b, out += ColumnPick::kBlockColumns) {
    const ColumnPick::ShuffleBlock& block = blocks[b];
    const uint8_t* from = row + block.base;
    const __m128i low =
        _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from)),
                         _mm_load_si128(reinterpret_cast<const __m128i*>(block.low)));
    const __m128i high =
        _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 16)),
                         _mm_load_si128(reinterpret_cast<const __m128i*>(block.high)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_or_si128(low, high));
  }
}
#else
bool byteShuffleAvailable() {
  return false;
}
void pickBlocks(const ColumnPick::ShuffleBlock*, size_t, const uint8_t*, uint8_t*) {}
#endif

}  // namespace

void ColumnPick::assign(const std::vector<int>& columns, int rowSamples) {
  columns_ = columns;
  assignRuns();
  blocks_.clear();
  if (runs_.empty() && byteShuffleAvailable()) assignBlocks(rowSamples);
}

void ColumnPick::assignRuns() {
  runs_.clear();
  for (size_t x = 0; x < columns_.size(); ++x) {
    if (!runs_.empty() && columns_[x] == columns_[x - 1] + 1) {
      ++runs_.back().length;
    } else {
      runs_.push_back({x, columns_[x], 1});
    }
  }
  if (runs_.size() * kCopiedRunLength > columns_.size()) runs_.clear();
}

// Blocks end at the first whose samples spread too far, or whose loads would leave the row.
void ColumnPick::assignBlocks(int rowSamples) {
  for (size_t first = 0; first + kBlockColumns <= columns_.size(); first += kBlockColumns) {
    ShuffleBlock block{};
    block.base = columns_[first];
    if (block.base + kShuffleReach > rowSamples ||
        columns_[first + kBlockColumns - 1] - block.base >= kShuffleReach) {
      return;
    }
    for (size_t i = 0; i < kBlockColumns; ++i) {
      const int offset = columns_[first + i] - block.base;
      block.low[i] = offset < 16 ? uint8_t(offset) : kNoSample;
      block.high[i] = offset < 16 ? kNoSample : uint8_t(offset - 16);
    }
    blocks_.push_back(block);
  }
}

void ColumnPick::pick(const uint8_t* row, uint8_t* out) const {
  if (!runs_.empty()) {
    for (const Run& run : runs_) std::memcpy(out + run.out, row + run.in, run.length);
    return;
  }
  pickBlocks(blocks_.data(), blocks_.size(), row, out);
  for (size_t x = blocks_.size() * kBlockColumns; x < columns_.size(); ++x)
    out[x] = row[columns_[x]];
}

}  // namespace vexa
