#include "common/Base64.h"

#include <array>

namespace vexa::base64 {
namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int8_t kNotInAlphabet = -1;

constexpr std::array<int8_t, 256> makeDecodeTable() {
  std::array<int8_t, 256> table{};
  table.fill(kNotInAlphabet);
  for (size_t i = 0; i < kAlphabet.size(); ++i) table[static_cast<uint8_t>(kAlphabet[i])] = int8_t(i);
  return table;
}
constexpr auto kDecodeTable = makeDecodeTable();

}  // namespace

std::string encode(std::span<const uint8_t> bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const uint32_t v = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  const size_t rest = bytes.size() - i;
  if (rest > 0) {
    uint32_t v = bytes[i] << 16;
    if (rest == 2) v |= bytes[i + 1] << 8;
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

std::string encode(std::string_view text) {
  return encode(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

std::vector<uint8_t> decode(std::string_view text) {
  std::vector<uint8_t> out;
  out.reserve(text.size() * 3 / 4);
  uint32_t accumulator = 0;
  int bits = 0;
  for (char c : text) {
    if (c == '=') break;
    const int8_t value = kDecodeTable[static_cast<uint8_t>(c)];
    if (value == kNotInAlphabet) continue;
    accumulator = (accumulator << 6) | uint32_t(value);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(uint8_t(accumulator >> bits));
      accumulator &= (1u << bits) - 1;
    }
  }
  return out;
}

}  // namespace vexa::base64
