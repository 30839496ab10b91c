#include "viewer/OverlayItem.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/TempFolder.h"

namespace vexa::viewer {
namespace {

TEST(OverlayItem, ReadsEveryKindAndSkipsCommentsAndBlanks) {
  OverlayItems items;
  parseOverlayText(
      "# the door\n"
      "mask door 20 4 8 6\n"
      "\n"
      "  motion - 1 2 3 4\r\n"
      "motion hall -2147483648 0 2147483647 9\n"
      "roi face 1 2 3 4 16 9 -1 0\n"
      "client-mask desk 40 30 20 15\n"
      "client-colour 255 0 0 0.5",
      "f", true, items);
  ASSERT_EQ(items.error, "");
  ASSERT_EQ(items.items.size(), 6u);
  using Kind = OverlayItem::Kind;
  const OverlayItem& door = items.items[0];
  EXPECT_EQ(std::tuple(door.kind, door.name, door.values[0], door.values[3]),
            std::tuple(Kind::kMask, "door", 20, 6));
  EXPECT_TRUE(items.items[1].unnamed);
  EXPECT_EQ(items.items[1].name, "");
  EXPECT_EQ(items.items[2].values[0], INT32_MIN);
  EXPECT_EQ(items.items[3].values[6], -1);
  EXPECT_EQ(items.items[4].kind, Kind::kClientMask);
  const OverlayItem& colour = items.items[5];
  EXPECT_EQ(std::tuple(colour.kind, colour.values[0], colour.values[2], colour.alpha),
            std::tuple(Kind::kClientColour, 255, 0, 0.5));
}

TEST(OverlayItem, RefusesBadLinesNamingThem) {
  const struct {
    std::string text;
    std::string error;
  } cases[] = {
      {"mask a 1 2 3", "f:1: mask takes 5 values, not 4"},
      {"\nmask a 1 2 3 x", "f:2: 'x' is not a 32-bit integer"},
      {"roi a 1 2 3 4 5 6 7 2147483648", "f:1: '2147483648' is not a 32-bit integer"},
      {"client-colour 1 2 3 nan", "f:1: 'nan' is not a finite alpha"},
      {"client-colour 1 2 3 1e999", "f:1: '1e999' is not a finite alpha"},
      {"circle a 1 2 3", "f:1: unknown overlay 'circle' (mask, motion, roi, client-mask, client-colour)"},
      {"mask " + std::string(1020, 'n') + " 1 2 3 4", "f:1: a line of more than 1024 bytes"},
  };
  for (const auto& c : cases) {
    OverlayItems items;
    parseOverlayText(c.text, "f", true, items);
    EXPECT_EQ(items.error, c.error);
  }
  OverlayItems option;
  parseOverlayText("mask a", "--overlay 'mask a'", false, option);
  EXPECT_EQ(option.error, "--overlay 'mask a': mask takes 5 values, not 1");
}

TEST(OverlayItem, FilesAreReadWholeUpToTheirLimit) {
  test::TempFolder folder;
  const std::string good = folder.file("good.txt"), big = folder.file("big.txt");
  std::ofstream(good) << "mask a 1 2 3 4\nclient-mask b 0 0 80 60\n";
  std::ofstream(big) << std::string(kMaxOverlayFileBytes + 1, '#');
  OverlayItems items;
  readOverlayFile(good, items);
  EXPECT_EQ(items.error, "");
  EXPECT_EQ(items.items.size(), 2u);
  readOverlayFile(big, items);
  EXPECT_EQ(items.error, big + ": more than 65536 bytes");
  OverlayItems missing;
  readOverlayFile(folder.file("none.txt"), missing);
  EXPECT_EQ(missing.error, folder.file("none.txt") + ": cannot be read");
}

}  // namespace
}  // namespace vexa::viewer
