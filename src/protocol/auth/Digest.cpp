#include "protocol/auth/Digest.h"

#include <array>
#include <memory>
#include <span>

#include "common/TextFields.h"
#include "protocol/auth/Challenge.h"

extern "C" {
#include <libavutil/md5.h>
#include <libavutil/mem.h>
#include <libavutil/sha.h>
}

namespace vexa::auth {

namespace {

constexpr size_t kMd5Size = 16;
constexpr size_t kSha256Size = 32;
constexpr int kSha256Bits = 256;

std::string hex(std::span<const uint8_t> bytes) {
  constexpr std::string_view kDigits = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const uint8_t byte : bytes) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0f];
  }
  return text;
}

const uint8_t* bytesOf(std::string_view text) {
  return reinterpret_cast<const uint8_t*>(text.data());
}

std::string md5Hex(std::string_view text) {
  std::array<uint8_t, kMd5Size> sum{};
  av_md5_sum(sum.data(), bytesOf(text), text.size());
  return hex(sum);
}

std::string sha256Hex(std::string_view text) {
  const std::unique_ptr<AVSHA, decltype(&av_free)> context(av_sha_alloc(), &av_free);
  if (!context || av_sha_init(context.get(), kSha256Bits) < 0) return {};
  std::array<uint8_t, kSha256Size> sum{};
  av_sha_update(context.get(), bytesOf(text), text.size());
  av_sha_final(context.get(), sum.data());
  return hex(sum);
}

bool isSession(DigestAlgorithm algorithm) {
  return algorithm == DigestAlgorithm::kMd5Sess || algorithm == DigestAlgorithm::kSha256Sess;
}

std::string joined(std::initializer_list<std::string_view> parts) {
  std::string text;
  for (const std::string_view part : parts) {
    if (!text.empty()) text += ':';
    text += part;
  }
  return text;
}

// A quoted-string (RFC 7230 section 3.2.6). Control characters are left out: a value from the
// user or the server must never end the header line early.
std::string quoted(std::string_view value) {
  std::string text = "\"";
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte < 0x20 && c != '\t') || byte == 0x7f) continue;
    if (c == '"' || c == '\\') text += '\\';
    text += c;
  }
  return text + "\"";
}

}  // namespace

std::optional<DigestAlgorithm> digestAlgorithm(std::string_view written) {
  struct Name {
    std::string_view text;
    DigestAlgorithm algorithm;
  };
  static constexpr std::array<Name, 4> kNames = {{{"MD5", DigestAlgorithm::kMd5},
                                                  {"MD5-sess", DigestAlgorithm::kMd5Sess},
                                                  {"SHA-256", DigestAlgorithm::kSha256},
                                                  {"SHA-256-sess", DigestAlgorithm::kSha256Sess}}};
  if (written.empty()) return DigestAlgorithm::kMd5;
  for (const Name& name : kNames) {
    if (equalsIgnoringCase(written, name.text)) return name.algorithm;
  }
  return std::nullopt;
}

std::string digestHex(DigestAlgorithm algorithm, std::string_view text) {
  const bool sha256 =
      algorithm == DigestAlgorithm::kSha256 || algorithm == DigestAlgorithm::kSha256Sess;
  return sha256 ? sha256Hex(text) : md5Hex(text);
}

std::string nonceCount(uint32_t nc) {
  std::array<uint8_t, 4> bytes = {uint8_t(nc >> 24), uint8_t(nc >> 16), uint8_t(nc >> 8),
                                  uint8_t(nc)};
  return hex(bytes);
}

std::string digestResponse(const DigestInput& in) {
  const auto h = [&](std::initializer_list<std::string_view> parts) {
    return digestHex(in.algorithm, joined(parts));
  };
  std::string ha1 = h({in.user, in.realm, in.password});
  if (isSession(in.algorithm)) ha1 = h({ha1, in.nonce, in.cnonce});
  const std::string ha2 = h({in.method, in.uri});
  if (!in.qopAuth) return h({ha1, in.nonce, ha2});
  return h({ha1, in.nonce, nonceCount(in.nc), in.cnonce, "auth", ha2});
}

std::string digestAuthorizationLine(const DigestInput& in, const DigestEcho& echo) {
  std::string line = "Authorization: Digest username=" + quoted(in.user) +
                     ", realm=" + quoted(in.realm) + ", nonce=" + quoted(in.nonce) +
                     ", uri=" + quoted(in.uri) + ", response=\"" + digestResponse(in) + "\"";
  if (!echo.algorithm.empty()) line += ", algorithm=" + std::string(echo.algorithm);
  // A -sess algorithm needs the cnonce even in the RFC 2069 form, or the server cannot check.
  if (in.qopAuth || isSession(in.algorithm)) line += ", cnonce=" + quoted(in.cnonce);
  if (!echo.opaque.empty()) line += ", opaque=" + quoted(echo.opaque);
  if (in.qopAuth) line += ", qop=auth, nc=" + nonceCount(in.nc);
  return line + "\r\n";
}

}  // namespace vexa::auth
