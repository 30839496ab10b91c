#include "display/overlay/OverlayList.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <string>

namespace vexa {
namespace {

using Points = std::array<int, 4>;

Points pointsOf(const OverlayList& list, const std::string& name) {
  return {list.pointByName(name, 0), list.pointByName(name, 1), list.pointByName(name, 2),
          list.pointByName(name, 3)};
}

const OverlayElement& named(const OverlayList& list, const std::string& name) {
  for (const OverlayElement& e : list.elements()) {
    if (e.name() == name) return e;
  }
  static const OverlayElement kNone;
  ADD_FAILURE() << "no element " << name;
  return kNone;
}

TEST(OverlayList, PointsAreReadByTheCurrentKind) {
  OverlayList list;
  list.setDescription("TQ311", "OV7725", "640x480", "");
  list.addMotionByName("a", 10, 10, 19, 19);
  EXPECT_EQ(pointsOf(list, "a"), (Points{10, 10, 19, 19}));
  list.addMask("b", 1, 2, 3, 4);
  EXPECT_EQ(pointsOf(list, "a"), (Points{10, 10, 10, 10}));
  EXPECT_EQ(pointsOf(list, "b"), (Points{1, 2, 3, 4}));
  list.addRoi("c", 5, 6, 7, 8, 4, 6, 2, 3);
  EXPECT_EQ(pointsOf(list, "c"), (Points{5, 6, 7, 8}));
  EXPECT_EQ(named(list, "c").aspectX(), 2);
  EXPECT_EQ(named(list, "c").aspectY(), 3);
  EXPECT_EQ(list.motionPoint(0, 0), 5);  // the newest is the front
  EXPECT_EQ(list.motionPoint(2, 3), 10);
  for (const auto& [index, which] : {std::pair{3, 0}, {-1, 0}, {0, 4}, {0, -1}, {INT_MIN, 0}}) {
    EXPECT_EQ(list.motionPoint(index, which), -1) << index << " " << which;
  }
  EXPECT_EQ(list.pointByName("zz", 0), -1);
  EXPECT_EQ(list.pointByName("a", 7), -1);

  // Grid type 0: motion windows answer their window rectangle, as given before any picture.
  OverlayList plain;
  plain.addMotion(10, 20, 30, 40);
  EXPECT_EQ(pointsOf(plain, ""), (Points{10, 20, 30, 40}));
  EXPECT_EQ(plain.motionPoint(0, 4), -1);
}

TEST(OverlayList, SixRotationsPlaceTheElementAndWindowCellsInvertThem) {
  // Type 7 motion grid: 40 x 30 cells of 10 pixels, turned for rotations 4 and 5.
  struct Case {
    int rotation;
    Rect video;
    OverlayWindowRect expected;
  };
  const Case cases[] = {
      {0, {0, 0, 400, 300}, {20, 30, 59, 79}},   {1, {0, 0, 400, 300}, {20, 220, 59, 269}},
      {2, {0, 0, 400, 300}, {340, 30, 379, 79}}, {3, {0, 0, 400, 300}, {340, 220, 379, 269}},
      {4, {0, 0, 300, 400}, {30, 340, 79, 379}}, {5, {0, 0, 300, 400}, {220, 20, 269, 59}},
  };
  OverlayList list;
  list.setDescription("TQ323", "", "1920x1080", "");
  list.addMotionByName("a", 2, 3, 5, 7);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rotation);
    list.setRotation(c.rotation);
    list.updateGeometry(1920, 1080, c.video);
    const OverlayElement& e = named(list, "a");
    EXPECT_EQ(e.cells(), (OverlayCellRect{2, 3, 4, 5}));
    EXPECT_EQ(e.window(), c.expected);
    EXPECT_EQ(cellsFromWindow(e.window(), *list.geometry(), list.area()), e.cells());
  }

  // The odd grid of 31 columns sits half a cell (5 pixels) to the left.
  OverlayList odd;
  odd.setDescription("TQ311", "ICX445", "640x480", "");
  odd.addMotionByName("o", 4, 3, 4, 3);
  odd.updateGeometry(640, 480, {0, 0, 310, 230});
  ASSERT_TRUE(odd.geometry()->odd);
  EXPECT_EQ(named(odd, "o").window(), (OverlayWindowRect{-5, 0, 4, 9}));
  EXPECT_EQ(cellsFromWindow(named(odd, "o").window(), *odd.geometry(), odd.area()),
            named(odd, "o").cells());
}

TEST(OverlayList, GeometryFollowsKindTypeAndRotationKeepingScriptCoordinates) {
  OverlayList list;
  list.setDescription("TQ312", "OV2715", "1280x1024", "");
  list.updateGeometry(1280, 1024, {0, 0, 1280, 1024});
  list.addMask("m", 20, 5, 4, 4);
  EXPECT_EQ(named(list, "m").space().x, 10);  // origin 10 for masks

  // Motion windows count from 6: the mask moves by 4 in space, not in script coordinates, and
  // is re-placed in the motion grid at once, without a new picture size.
  list.addMotionByName("w", 20, 5, 23, 8);
  EXPECT_EQ(named(list, "m").space().x, 14);
  EXPECT_EQ(pointsOf(list, "m"), (Points{20, 5, 23, 8}));
  EXPECT_EQ(pointsOf(list, "w"), (Points{20, 5, 23, 8}));
  EXPECT_EQ(list.geometry()->gridCols, 28);
  EXPECT_EQ(named(list, "m").cells().x, 14);

  list.addMask("n", 0, 0, 1, 1);
  EXPECT_EQ(named(list, "m").space().x, 10);
  EXPECT_EQ(list.geometry()->gridCols, 40);
  EXPECT_EQ(named(list, "m").cells().x, 10);
  EXPECT_EQ(named(list, "m").window().left, 320);

  list.setDescription("VX1", "", "", "");
  EXPECT_EQ(list.geometry()->gridType, 0);
  EXPECT_EQ(pointsOf(list, "m"), (Points{20, 5, 4, 4}));
  list.setRotation(4);
  EXPECT_EQ(list.geometry()->rotation, 4);
  list.setRotation(6);
  EXPECT_EQ(list.rotation(), 4);
}

TEST(OverlayList, UnnamedMotionBeforeTheFirstPictureKeepsItsWindowRectangle) {
  struct Case {
    int rotation;
    OverlaySpaceRect space;
    Points placed;
  };
  // 640 x 480 in 40 x 30 cells of 16 pixels; the space has 80 x 60 units.
  const Case cases[] = {{0, {12, 6, 12, 12}, {96, 48, 191, 143}},
                        {2, {54, 6, 12, 12}, {112, 48, 207, 143}}};  // mirrored back
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rotation);
    OverlayList list;
    list.setRotation(c.rotation);
    list.addMotion(100, 50, 199, 149);
    list.updateGeometry(8, 8, {0, 0, 640, 480});  // no grid yet
    EXPECT_EQ(pointsOf(list, ""), (Points{100, 50, 199, 149}));
    EXPECT_TRUE(list.elements().front().windowPending());
    list.updateGeometry(640, 480, {0, 0, 640, 480});
    EXPECT_EQ(list.elements().front().space(), c.space);
    EXPECT_EQ(pointsOf(list, ""), c.placed);
  }
}

TEST(OverlayList, WithoutGridOrAreaNothingIsConvertedButQueriesAnswer) {
  OverlayList list;
  list.setDescription("TQ312", "OV2715", "640x480", "");  // masks in cells of 32 pixels
  list.updateGeometry(16, 16, {0, 0, 16, 16});
  list.addMask("m", 70, 2, 5, 5);
  EXPECT_FALSE(list.placed());
  EXPECT_EQ(pointsOf(list, "m"), (Points{70, 2, 5, 5}));
  EXPECT_EQ(named(list, "m").window(), OverlayWindowRect{});
  list.adjustMotion();  // the 60 x 33 space is known all the same
  EXPECT_EQ(pointsOf(list, "m"), (Points{59, 2, 1, 5}));

  list.updateGeometry(640, 480, {0, 0, 0, 0});
  EXPECT_FALSE(list.placed());
  EXPECT_EQ(named(list, "m").cells().x, 19);
  EXPECT_EQ(named(list, "m").window(), OverlayWindowRect{});
  list.updateGeometry(640, 480, {0, 0, 640, 480});
  EXPECT_TRUE(list.placed());
  EXPECT_EQ(named(list, "m").window(), (OverlayWindowRect{608, 0, 639, 95}));
}

TEST(OverlayList, AddClampsTheStartAdjustClampsEverything) {
  OverlayList list;
  list.setDescription("TQ311", "OV7725", "", "");  // motion space 40 x 32
  list.addMotionByName("a", 35, -5, 50, 10);
  list.addMotionByName("b", 45, 2, 46, 3);
  list.adjustMotion();  // no picture, no space yet
  EXPECT_EQ(pointsOf(list, "a"), (Points{35, 0, 50, 10}));
  list.updateGeometry(640, 480, {0, 0, 640, 480});
  list.adjustMotion();
  EXPECT_EQ(pointsOf(list, "a"), (Points{35, 0, 39, 10}));
  EXPECT_EQ(pointsOf(list, "b"), (Points{39, 2, 39, 3}));
  list.addMask("c", -10, 0, 4, 4);
  EXPECT_EQ(pointsOf(list, "c"), (Points{0, 0, 1, 4}));
}

TEST(OverlayList, ExtremeCoordinatesStayDefined) {
  for (const char* model : {"TQ311", "VX1"}) {
    SCOPED_TRACE(model);
    OverlayList list;
    list.setDescription(model, "OV7725", "", "");
    list.addMotion(INT_MIN, INT_MIN, INT_MAX, INT_MAX);
    list.addMotionByName("a", INT_MIN, INT_MIN, INT_MAX, INT_MAX);
    if (list.gridType() != 0) EXPECT_EQ(pointsOf(list, "a"), (Points{0, 0, INT_MAX, INT_MAX}));
    list.addMask("b", INT_MAX, INT_MIN, INT_MAX, INT_MAX);
    EXPECT_EQ(pointsOf(list, "b"), (Points{INT_MAX, 0, INT_MAX, 1}));
    list.addRoi("c", INT_MIN, 0, INT_MIN, 1, INT_MIN, INT_MIN, INT_MIN, INT_MAX);
    EXPECT_EQ(named(list, "c").aspectX(), -1);
    EXPECT_EQ(list.pointByName("a", 2), INT_MAX);  // a width of 2^31 saturates
    for (int rotation = 0; rotation < 6; ++rotation) {
      list.setRotation(rotation);
      list.updateGeometry(INT_MAX, INT_MAX, {INT_MIN, INT_MIN, INT_MAX, INT_MAX});
      for (const OverlayElement& e : list.elements()) EXPECT_GT(e.window().right, e.window().left);
    }
    list.adjustMotion();
    for (const OverlayElement& e : list.elements()) {
      EXPECT_GE(e.space().x, 0);
      EXPECT_LE(e.space().x + e.space().width, list.geometry()->spaceWidth);
    }
  }
}

TEST(OverlayList, RemovalsGoFrontFirstAndCapsRefuseTheAdd) {
  OverlayList list;
  list.addMask("m", 1, 1, 2, 2);
  list.addMask("m", 5, 5, 2, 2);
  EXPECT_EQ(list.pointByName("m", 0), 5);
  EXPECT_TRUE(list.removeByName("m"));
  EXPECT_EQ(list.pointByName("m", 0), 1);
  EXPECT_FALSE(list.removeByName("x"));
  EXPECT_TRUE(list.removeFront());
  EXPECT_FALSE(list.removeFront());

  // An add beyond a cap changes nothing, not even the kind.
  EXPECT_TRUE(list.addMask(std::string(OverlayList::kMaxNameBytes, 'n'), 0, 0, 1, 1));
  list.addMotionByName("first", 0, 0, 1, 1);
  EXPECT_FALSE(list.addMask(std::string(OverlayList::kMaxNameBytes + 1, 'n'), 0, 0, 1, 1));
  EXPECT_EQ(list.kind(), kOverlayMotion);
  while (list.elements().size() < OverlayList::kMaxElements) list.addMotion(0, 0, 1, 1);
  EXPECT_FALSE(list.addMask("x", 0, 0, 1, 1));
  EXPECT_FALSE(list.addMotionByName("x", 0, 0, 1, 1));
  EXPECT_FALSE(list.addMotion(0, 0, 1, 1));
  EXPECT_FALSE(list.addRoi("x", 0, 0, 1, 1, 0, 0, 0, 0));
  EXPECT_EQ(list.elements().size(), OverlayList::kMaxElements);
  EXPECT_EQ(list.kind(), kOverlayMotion);
  EXPECT_EQ(list.elements().back().name(), std::string(OverlayList::kMaxNameBytes, 'n'));
}

}  // namespace
}  // namespace vexa
