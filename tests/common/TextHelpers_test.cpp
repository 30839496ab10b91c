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

std::string asText(const std::vector<uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

TEST(Base64, EncodesWithPaddingAndNoLineBreaks) {
  EXPECT_EQ(base64::encode(""), "");
  EXPECT_EQ(base64::encode("f"), "Zg==");
  EXPECT_EQ(base64::encode("fo"), "Zm8=");
  EXPECT_EQ(base64::encode("foo"), "Zm9v");
  EXPECT_EQ(base64::encode("foobar"), "Zm9vYmFy");
  const std::string long_(200, 'a');
  EXPECT_EQ(base64::encode(long_).find('\n'), std::string::npos);
  const uint8_t high[] = {0xFF, 0xFE, 0x00};
  EXPECT_EQ(base64::encode(high), "//4A");
}

TEST(Base64, DecodesSkippingForeignCharactersAndStopsAtPadding) {
  EXPECT_EQ(asText(base64::decode("Zm9vYmFy")), "foobar");
  EXPECT_EQ(asText(base64::decode("Zm9v\r\nYm Fy")), "foobar");
  EXPECT_EQ(asText(base64::decode("Zg==Zm9v")), "f");
  EXPECT_EQ(asText(base64::decode("Zm8=")), "fo");
  // A typical parameter set pair is decoded one side of the comma at a time.
  const auto sps = base64::decode("Z0IAKeKQFAe2AtwEBAaQeJEV");
  ASSERT_FALSE(sps.empty());
  EXPECT_EQ(sps[0], 0x67);
}

TEST(Base64, RoundTripsEveryByteValue) {
  std::vector<uint8_t> all(256);
  for (int i = 0; i < 256; ++i) all[i] = uint8_t(i);
  for (size_t n = 0; n < all.size(); n += 37) {
    std::vector<uint8_t> slice(all.begin(), all.begin() + n);
    EXPECT_EQ(base64::decode(base64::encode(slice)), slice);
  }
}

TEST(ExtractField, TakesTheTextBetweenStartAndEndAfterTheFirstKey) {
  const std::string answer = "RTSP/1.0 200 OK\r\nCSeq: 1\r\nSession: 1234;timeout=60\r\n\r\n";
  EXPECT_EQ(extractField(answer, "Session", ':', '\r'), " 1234;timeout=60");
  EXPECT_EQ(extractField(answer, "CSeq", ':', '\r'), " 1");
  EXPECT_EQ(extractField("a=control:track1\r\n", "a=control", ':', '\r'), "track1");
}

TEST(ExtractField, IsEmptyWhenAnythingIsMissing) {
  EXPECT_EQ(extractField("CSeq: 1\r\n", "Session", ':', '\r'), "");
  EXPECT_EQ(extractField("Session 1\r\n", "Session", ':', '\r'), "");
  EXPECT_EQ(extractField("Session: 1", "Session", ':', '\r'), "");
  EXPECT_EQ(extractField("Session:\r\n", "Session", ':', '\r'), "");
}

TEST(ExtractField, UsesTheFirstOccurrenceOfTheKeyOnly) {
  EXPECT_EQ(extractField("x=1;\r\nx=2;", "x", '=', ';'), "1");
  // The start character is looked for from the key on, even past the key's line.
  EXPECT_EQ(extractField("key\r\nother: v\r\n", "key", ':', '\r'), " v");
}

TEST(ExtractField, MatchesKeysWithoutRegardToCaseWhenAsked) {
  EXPECT_EQ(extractField("content-base: rtsp://a/\r\n", "Content-Base", ':', '\r'), "");
  EXPECT_EQ(extractField("content-base: rtsp://a/\r\n", "Content-Base", ':', '\r', KeyMatch::IgnoreCase),
            " rtsp://a/");
}

TEST(TextFields, ParsesLeadingIntegersAsAtoiDoes) {
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
