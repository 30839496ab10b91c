#pragma once

// Reads back the AVI files the recorder writes: the RIFF list, hdrl's headers, the movi chunks
// and the idx1 entries, checking every size against the bytes there. A file without idx1 (cut
// short before its close) still reads; what lies beyond the RIFF size is ignored.
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vexa::test {

struct AviChunk {
  std::string tag;
  uint32_t size = 0;          // as written: the rounded length
  uint32_t offset = 0;        // of its tag, from the "movi" word
  std::vector<uint8_t> data;  // size bytes
};

struct AviIndexEntry {
  std::string tag;
  uint32_t flags = 0;
  uint32_t offset = 0;
  uint32_t size = 0;
};

struct AviFile {
  uint32_t riffSize = 0;
  uint32_t totalFrames = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  std::string handler;
  uint32_t rate = 0;
  uint32_t length = 0;
  uint16_t frameBottom = 0;
  uint32_t formatHeight = 0;
  std::string compression;
  uint32_t imageSize = 0;
  uint32_t moviSize = 0;
  std::vector<AviChunk> chunks;
  bool hasIndex = false;
  std::vector<AviIndexEntry> index;
};

namespace avi_detail {

class Cursor {
 public:
  explicit Cursor(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  bool has(size_t n) const { return bytes_.size() - at_ >= n; }
  uint32_t u32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t(bytes_[at_ + i]) << (8 * i);
    at_ += 4;
    return v;
  }
  uint16_t u16() {
    const uint16_t v = uint16_t(bytes_[at_] | bytes_[at_ + 1] << 8);
    at_ += 2;
    return v;
  }
  std::string tag() {
    std::string t(reinterpret_cast<const char*>(bytes_.data() + at_), 4);
    at_ += 4;
    return t;
  }
  std::span<const uint8_t> take(size_t n) {
    const auto s = bytes_.subspan(at_, n);
    at_ += n;
    return s;
  }
  Cursor sub(size_t n) { return Cursor(take(n)); }
  size_t remaining() const { return bytes_.size() - at_; }
  bool done() const { return at_ == bytes_.size(); }

 private:
  std::span<const uint8_t> bytes_;
  size_t at_ = 0;
};

// The fields that change from file to file; the fixed ones are the writer's tests' business.
inline bool readMainHeader(Cursor c, AviFile& f) {
  if (!c.has(40)) return false;
  c.take(16);  // time per frame, rate, granularity, flags
  f.totalFrames = c.u32();
  c.take(12);  // initial frames, streams, buffer size
  f.width = c.u32();
  f.height = c.u32();
  return true;
}

inline bool readStreamHeader(Cursor c, AviFile& f) {
  if (!c.has(56)) return false;
  c.take(4);  // type
  f.handler = c.tag();
  c.take(16);  // flags, priority and language, initial frames, scale
  f.rate = c.u32();
  c.take(4);  // start
  f.length = c.u32();
  c.take(18);  // buffer size, quality, sample size, left, top, right
  f.frameBottom = c.u16();
  return true;
}

inline bool readFormat(Cursor c, AviFile& f) {
  if (!c.has(40) || c.u32() != 40) return false;
  c.take(4);  // width
  f.formatHeight = c.u32();
  c.take(4);  // planes, bit count
  f.compression = c.tag();
  f.imageSize = c.u32();
  return true;
}

// Calls take(tag, body) for each chunk of a list body; false when a size overruns it.
template <typename Take>
bool forEachChunk(Cursor c, Take&& take) {
  while (!c.done()) {
    if (!c.has(8)) return false;
    const std::string tag = c.tag();
    const uint32_t size = c.u32();
    if (!c.has(size) || !take(tag, c.sub(size))) return false;
  }
  return true;
}

inline bool readHeaderList(Cursor c, AviFile& f) {
  bool main = false, stream = false, format = false;
  const bool whole = forEachChunk(c, [&](const std::string& tag, Cursor body) {
    if (tag == "avih") return main = readMainHeader(body, f);
    if (tag != "LIST" || !body.has(4) || body.tag() != "strl") return true;
    return forEachChunk(body, [&](const std::string& inner, Cursor b) {
      if (inner == "strh") return stream = readStreamHeader(b, f);
      if (inner == "strf") return format = readFormat(b, f);
      return true;
    });
  });
  return whole && main && stream && format;
}

inline bool readMovi(Cursor c, AviFile& f) {
  uint32_t offset = 4;
  return forEachChunk(c, [&](const std::string& tag, Cursor body) {
    const auto data = body.take(body.remaining());
    AviChunk chunk{tag, uint32_t(data.size()), offset, {data.begin(), data.end()}};
    offset += 8 + chunk.size;
    f.chunks.push_back(std::move(chunk));
    return true;
  });
}

inline bool readIndex(Cursor c, AviFile& f) {
  f.hasIndex = true;
  while (c.has(16)) f.index.push_back({c.tag(), c.u32(), c.u32(), c.u32()});
  return c.done();
}

}  // namespace avi_detail

// Nullopt when the bytes are not a well-formed file of this shape.
inline std::optional<AviFile> readAvi(std::span<const uint8_t> bytes) {
  using avi_detail::Cursor;
  Cursor file(bytes);
  if (!file.has(12) || file.tag() != "RIFF") return std::nullopt;
  AviFile f;
  f.riffSize = file.u32();
  if (!file.has(f.riffSize) || f.riffSize < 4) return std::nullopt;
  Cursor riff = file.sub(f.riffSize);
  if (riff.tag() != "AVI ") return std::nullopt;
  bool headers = false, movi = false;
  const bool whole = avi_detail::forEachChunk(riff, [&](const std::string& tag, Cursor body) {
    if (tag == "idx1") return readIndex(body, f);
    if (tag != "LIST" || !body.has(4)) return true;
    const uint32_t listSize = uint32_t(body.remaining());
    const std::string list = body.tag();
    if (list == "hdrl") return headers = readHeaderList(body, f);
    if (list != "movi") return true;
    f.moviSize = listSize;
    return movi = avi_detail::readMovi(body, f);
  });
  if (!whole || !headers || !movi) return std::nullopt;
  return f;
}

// Empty when the totals, the index and the chunks agree; else what disagrees.
inline std::string inconsistency(const AviFile& f) {
  if (f.totalFrames != f.length) return "avih and strh totals differ";
  if (f.totalFrames != f.chunks.size()) return "total frames differ from the chunks";
  if (f.hasIndex && f.index.size() != f.chunks.size())
    return "index entries differ from the chunks";
  for (const AviChunk& c : f.chunks) {
    if (c.size % 4 != 0) return "a chunk size is not rounded";
  }
  for (size_t i = 0; f.hasIndex && i < f.index.size(); ++i) {
    const AviIndexEntry& e = f.index[i];
    const AviChunk& c = f.chunks[i];
    if (e.tag != c.tag || e.offset != c.offset || e.size != c.size) {
      return "index entry " + std::to_string(i) + " differs from its chunk";
    }
  }
  return {};
}

}  // namespace vexa::test
