#pragma once

// Reads back the AVI files the recorder writes: the header fields that change from file to file
// (its fixed bytes are the writer's tests' business), the movi chunks and the idx1 entries, every
// size, total and entry checked against the bytes there. A file without idx1 (cut short before
// its close) still reads; what lies beyond the RIFF size is ignored.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vexa::test {

struct AviFile {
  std::string problem;  // empty when the file is well formed and its totals, index and chunks agree
  uint32_t riffSize = 0;
  uint32_t totalFrames = 0;  // avih
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t rate = 0;                         // strh
  uint32_t length = 0;                       // strh
  std::vector<std::vector<uint8_t>> chunks;  // as written, padding included
  bool hasIndex = false;
  std::vector<uint32_t> flags;  // of each idx1 entry
};

inline AviFile readAvi(std::span<const uint8_t> b) {
  const auto u32 = [&b](uint64_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
  };
  const auto tagIs = [&b](uint64_t at, std::string_view tag) {
    return std::string_view(reinterpret_cast<const char*>(&b[at]), 4) == tag;
  };
  constexpr uint64_t kMoviWord = 220, kHeaderBytes = 224, kChunkHead = 8, kEntryBytes = 16;
  AviFile f;
  const auto bad = [&f](const std::string& what) {
    f.problem = what;
    return f;
  };
  if (b.size() < kHeaderBytes || !tagIs(0, "RIFF") || !tagIs(8, "AVI ") ||
      !tagIs(kMoviWord, "movi")) {
    return bad("no AVI header");
  }
  f = {"", u32(4), u32(48), u32(64), u32(68), u32(132), u32(140), {}, false, {}};
  const uint64_t riffEnd = 8 + uint64_t(f.riffSize);
  const uint64_t moviEnd = kMoviWord + u32(kMoviWord - 4);
  if (riffEnd > b.size() || moviEnd > riffEnd) return bad("RIFF or movi beyond the file");
  std::vector<uint64_t> offsets;  // of each chunk's tag, from the "movi" word
  for (uint64_t at = kHeaderBytes; at < moviEnd;) {
    if (moviEnd - at < kChunkHead || !tagIs(at, "00db")) return bad("no 00db chunk in movi");
    const uint32_t size = u32(at + 4);
    if (moviEnd - at - kChunkHead < size || size % 4 != 0) {
      return bad("a chunk overruns movi or is not rounded");
    }
    const auto data = b.subspan(at + kChunkHead, size);
    f.chunks.emplace_back(data.begin(), data.end());
    offsets.push_back(at - kMoviWord);
    at += kChunkHead + size;
  }
  f.hasIndex = moviEnd < riffEnd;
  const uint64_t indexBytes = uint64_t(f.chunks.size()) * kEntryBytes;
  if (f.hasIndex && (riffEnd - moviEnd != 8 + indexBytes || !tagIs(moviEnd, "idx1") ||
                     u32(moviEnd + 4) != indexBytes)) {
    return bad("idx1 not one entry for each chunk");
  }
  for (size_t i = 0; f.hasIndex && i < f.chunks.size(); ++i) {
    const uint64_t at = moviEnd + 8 + i * kEntryBytes;
    if (!tagIs(at, "00db") || u32(at + 8) != offsets[i] || u32(at + 12) != f.chunks[i].size()) {
      return bad("idx1 entry " + std::to_string(i) + " differs from its chunk");
    }
    f.flags.push_back(u32(at + 4));
  }
  if (f.totalFrames != f.length || f.totalFrames != f.chunks.size()) {
    return bad("the totals of avih and strh differ from the chunks");
  }
  return f;
}

}  // namespace vexa::test
