#include "common/ByteBuffer.h"

#include <gtest/gtest.h>

#include <string>

namespace vexa {
namespace {

void appendText(ByteBuffer& buffer, const std::string& text) {
  ASSERT_TRUE(buffer.append(text.data(), int32_t(text.size())));
}

TEST(ByteBuffer, GrowsToExactlyWhatIsAskedPlusEightSpareBytes) {
  ByteBuffer buffer;
  EXPECT_EQ(buffer.data(), nullptr);  // nothing allocated before the first append
  appendText(buffer, "abcd");
  EXPECT_EQ(buffer.capacity(), 12);
  appendText(buffer, "ef");  // fits: 6 + 8 = 14 > 12, so exactly 14
  EXPECT_EQ(std::pair(buffer.capacity(), buffer.text()), std::pair(14, std::string_view("abcdef")));
  EXPECT_TRUE(buffer.reserve(10));  // smaller than the capacity: nothing changes
  EXPECT_EQ(buffer.capacity(), 14);
  EXPECT_TRUE(buffer.reserve(100));
  // Reserve keeps the bytes in use.
  EXPECT_EQ(std::pair(buffer.capacity(), buffer.text()),
            std::pair(100, std::string_view("abcdef")));
}

TEST(ByteBuffer, EraseFrontMovesTheRestAndClampsToTheSize) {
  ByteBuffer buffer;
  appendText(buffer, "0123456789");
  buffer.eraseFront(3);
  EXPECT_EQ(buffer.text(), "3456789");
  buffer.eraseFront(0);
  buffer.eraseFront(-2);
  EXPECT_EQ(buffer.text(), "3456789");
  buffer.eraseFront(1000);
  EXPECT_EQ(buffer.size(), 0);
}

TEST(ByteBuffer, NeverShrinksWhileInUse) {
  ByteBuffer buffer;
  appendText(buffer, std::string(1000, 'x'));
  const int32_t grown = buffer.capacity();
  buffer.clear();
  appendText(buffer, "y");
  EXPECT_EQ(buffer.capacity(), grown);
  buffer.release();
  EXPECT_EQ(std::pair(buffer.capacity(), buffer.size()), std::pair(0, 0));
}

}  // namespace
}  // namespace vexa
