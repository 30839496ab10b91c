#include "camera/VideoDump.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/TempFolder.h"

namespace vexa::camera {
namespace {

TEST(VideoDump, OneWriterHoldsTheFileUntilItLetsGo) {
  test::TempFolder folder;
  std::string error;
  auto dump = VideoDump::create(folder.file("dump"), error);
  ASSERT_TRUE(dump) << error;
  const std::vector<uint8_t> a = {1, 2}, b = {3}, c = {4, 5};
  VideoDump::Writer first(dump.get());
  {
    VideoDump::Writer second(dump.get());
    EXPECT_TRUE(first.write(a));
    EXPECT_FALSE(second.write(b));
    first.release();
    EXPECT_TRUE(second.write(b));
    EXPECT_FALSE(first.write(c));
  }
  // The second writer let go as it ended; the file was written through as each picture came.
  EXPECT_TRUE(first.write(c));
  EXPECT_EQ(folder.read("dump"), (std::vector<uint8_t>{1, 2, 3, 4, 5}));
  EXPECT_EQ(dump->picturesWritten(), 3u);
  EXPECT_FALSE(VideoDump::Writer(nullptr).write(a));
  EXPECT_FALSE(VideoDump::create(folder.file("no/such/folder"), error));
  EXPECT_NE(error.find("no/such/folder"), std::string::npos);
}

}  // namespace
}  // namespace vexa::camera
