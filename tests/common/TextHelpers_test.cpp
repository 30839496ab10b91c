#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "common/Base64.h"
#include "common/CriticalSection.h"
#include "common/TextFields.h"

namespace vexa {
namespace {

std::string asText(const std::vector<uint8_t>& bytes) {
  return {bytes.begin(), bytes.end()};
}

TEST(Base64, EncodesWithPaddingAndNoLineBreaks) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},        {"f", "Zg=="},          {"fo", "Zm8="},
      {"foo", "Zm9v"}, {"foobar", "Zm9vYmFy"}, {std::string("\xFF\xFE\0", 3), "//4A"}};
  for (const auto& [plain, encoded] : cases) EXPECT_EQ(base64::encode(plain), encoded) << encoded;
  EXPECT_EQ(base64::encode(std::string(200, 'a')).find('\n'), std::string::npos);
}

TEST(Base64, DecodesSkippingForeignCharactersAndStopsAtPadding) {
  EXPECT_EQ(asText(base64::decode("Zm9v\r\nYm Fy")), "foobar");
  EXPECT_EQ(asText(base64::decode("Zg==Zm9v")), "f");
  EXPECT_EQ(asText(base64::decode("Zm8=")), "fo");
  std::vector<uint8_t> all(256);
  for (int i = 0; i < 256; ++i) all[i] = uint8_t(i);
  for (size_t n = 0; n < all.size(); n += 37) {
    const std::vector<uint8_t> slice(all.begin(), all.begin() + n);
    EXPECT_EQ(base64::decode(base64::encode(slice)), slice) << n;
  }
}

TEST(ExtractField, TakesTheTextBetweenStartAndEndAfterTheFirstKey) {
  const std::string answer = "RTSP/1.0 200 OK\r\nCSeq: 1\r\nSession: 1234;timeout=60\r\n\r\n";
  const struct {
    std::string text, key, expected;
    char start = ':', end = '\r';
    KeyMatch match = KeyMatch::Exact;
  } cases[] = {
      {answer, "Session", " 1234;timeout=60"},
      {answer, "CSeq", " 1"},
      {"a=control:track1\r\n", "a=control", "track1"},
      {"x=1;\r\nx=2;", "x", "1", '=', ';'},
      // The start character is looked for from the key on, even past the key's line.
      {"key\r\nother: v\r\n", "key", " v"},
      // Empty when the key, the start, the end or the text between is missing.
      {"CSeq: 1\r\n", "Session", ""},
      {"Session 1\r\n", "Session", ""},
      {"Session: 1", "Session", ""},
      {"Session:\r\n", "Session", ""},
      {"content-base: rtsp://a/\r\n", "Content-Base", ""},
      {"content-base: rtsp://a/\r\n", "Content-Base", " rtsp://a/", ':', '\r',
       KeyMatch::IgnoreCase},
  };
  for (const auto& c : cases)
    EXPECT_EQ(extractField(c.text, c.key, c.start, c.end, c.match), c.expected) << c.text;
}

TEST(TextFields, ParsesLeadingIntegersAsAtoiDoesAndTrimsBlanks) {
  EXPECT_EQ(parseLeadingInteger("1234\r\n"), 1234);
  EXPECT_EQ(parseLeadingInteger(" -12x"), -12);
  EXPECT_EQ(parseLeadingInteger("abc"), 0);
  EXPECT_EQ(parseLeadingInteger(""), 0);
  EXPECT_GT(parseLeadingInteger("999999999999999999999999"), 0);  // saturates, no overflow
  EXPECT_EQ(trimBlanks("  a b \r\n"), "a b");
  EXPECT_EQ(trimBlanks(" \r\n"), "");
}

TEST(CLFXCriticalSection, IsReentrantAndTryLockFailsForOtherThreads) {
  CLFXCriticalSection lock;
  lock.Lock();
  EXPECT_TRUE(lock.TryLock());  // same thread enters again
  std::atomic<bool> otherGotIt{true};
  std::thread([&] { otherGotIt = lock.TryLock(); }).join();
  EXPECT_FALSE(otherGotIt);
  lock.Unlock();
  lock.Unlock();
  std::thread([&] {
    otherGotIt = lock.TryLock();
    if (otherGotIt) lock.Unlock();
  }).join();
  EXPECT_TRUE(otherGotIt);
}

}  // namespace
}  // namespace vexa
