#include "display/overlay/OverlayEditor.h"

#include <gtest/gtest.h>

#include <string>

namespace vexa {
namespace {

using Cells = OverlayCellRect;

// Grid type 0: an 80 x 60 space in 40 x 30 cells of 15 window pixels; "a" covers cells 10..19
// (pixels 150..299), "t" the single cell 0 (pixels 0..14) behind it.
void placeFifteenPixelCells(OverlayList& list) {
  list.updateGeometry(640, 480, {0, 0, 600, 450});
}

OverlayList masks() {
  OverlayList list;
  list.addMask("t", 0, 0, 2, 2);
  list.addMask("a", 20, 20, 20, 20);
  placeFifteenPixelCells(list);
  return list;
}

const OverlayElement& front(const OverlayList& list) {
  return list.elements().front();
}

// Presses at x, y, drags by dx, dy pixels and lets go; the front element's cells after it.
Cells drag(OverlayList& list, int x, int y, int dx, int dy) {
  OverlayEditor editor(list);
  EXPECT_TRUE(editor.buttonDown(x, y));
  editor.move(x + dx, y + dy);
  editor.buttonUp();
  return front(list).cells();
}

TEST(OverlayEditor, EdgeTestPicksHandlesWithTheirTiesAndDragsThem) {
  struct Case {
    int x, y;
    std::string hit;
    int handle;
    OverlayCursor cursor;
    Cells after;  // dragged one cell right and down
  };
  using C = OverlayCursor;
  const Case cases[] = {
      {225, 225, "a", 0, C::kArrow, {11, 11, 10, 10}},
      {158, 291, "a", 0, C::kArrow, {11, 11, 10, 10}},  // 8 pixels in is interior
      {157, 225, "a", kHandleLeft, C::kSizeWE, {11, 10, 9, 10}},
      {299, 225, "a", kHandleRight, C::kSizeWE, {10, 10, 11, 10}},
      {225, 150, "a", kHandleTop, C::kSizeNS, {10, 11, 10, 9}},
      {225, 292, "a", kHandleBottom, C::kSizeNS, {10, 10, 10, 11}},
      {150, 150, "a", kHandleTop | kHandleLeft, C::kSizeNWSE, {11, 11, 9, 9}},
      {299, 150, "a", kHandleTop | kHandleRight, C::kSizeNESW, {10, 11, 11, 9}},
      {150, 299, "a", kHandleBottom | kHandleLeft, C::kSizeNESW, {11, 10, 9, 11}},
      {299, 299, "a", kHandleBottom | kHandleRight, C::kSizeNWSE, {10, 10, 11, 11}},
      // Both edges of one cell within reach: the nearer wins, right and bottom on a tie; a
      // cell does not shrink.
      {7, 7, "t", kHandleBottom | kHandleRight, C::kSizeNWSE, {0, 0, 2, 2}},
      {6, 7, "t", kHandleBottom | kHandleLeft, C::kSizeNESW, {0, 0, 1, 2}},
      {6, 6, "t", kHandleTop | kHandleLeft, C::kSizeNWSE, {0, 0, 1, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
    OverlayList list = masks();
    OverlayEditor editor(list);
    editor.move(c.x, c.y);  // hovering: only the front element counts
    EXPECT_EQ(editor.cursor(), c.hit == "a" ? c.cursor : C::kArrow);
    ASSERT_TRUE(editor.buttonDown(c.x, c.y));
    EXPECT_EQ(front(list).name(), c.hit);  // raised
    EXPECT_EQ(front(list).handle, c.handle);
    editor.move(c.x + 15, c.y + 15);
    EXPECT_TRUE(editor.dragging());
    EXPECT_EQ(editor.cursor(), c.cursor);
    EXPECT_EQ(front(list).cells(), c.after);
    EXPECT_EQ(front(list).window().left, 15 * c.after.x);  // through the space
    editor.buttonUp();
    EXPECT_FALSE(editor.dragging() || front(list).moving || front(list).resizing);
  }
}

TEST(OverlayEditor, DragsStayInTheGridAndKeepTheirGrip) {
  OverlayList list = masks();
  OverlayEditor editor(list);
  ASSERT_TRUE(editor.buttonDown(225, 225));  // cell 15
  editor.move(-300, 5000);
  EXPECT_EQ(front(list).cells(), (Cells{0, 20, 10, 10}));
  // The grip stays on the element: back toward it nothing moves until the cursor is past cell 5.
  editor.move(75, 5000);
  EXPECT_EQ(front(list).cells(), (Cells{0, 20, 10, 10}));
  editor.move(90, 5000);
  EXPECT_EQ(front(list).cells(), (Cells{1, 20, 10, 10}));
  editor.buttonUp();
  editor.move(400, 400);  // without the button only the cursor follows
  EXPECT_EQ(front(list).cells(), (Cells{1, 20, 10, 10}));

  OverlayList sized;  // a motion window: no quarter limit on its 21 x 20 cells
  sized.addMotionByName("a", 20, 20, 39, 39);
  placeFifteenPixelCells(sized);
  EXPECT_EQ(drag(sized, 150, 225, 1000, 0), (Cells{19, 10, 1, 10}));
  EXPECT_EQ(drag(sized, 299, 225, 5000, 0), (Cells{19, 10, 21, 10}));
  EXPECT_EQ(drag(sized, 299, 150, 0, -5000), (Cells{19, 0, 21, 20}));
}

TEST(OverlayEditor, RegionsKeepTheirMinimumAndAspect) {
  struct Case {
    int aspectX, aspectY, minWidth, minHeight;
    int x, y, dx, dy;
    Cells after;
  };
  // A 40 x 20 unit region at 20, 20: cells 10..29 across, 10..19 down.
  const Case cases[] = {
      {0, 0, 10, 6, 449, 225, -1000, 0, {10, 10, 5, 10}},  // 10 units: 5 cells
      {0, 0, 11, 7, 225, 299, 0, -1000, {10, 10, 20, 4}},  // 7 units round up to 4 cells
      {0, 0, -10, -6, 449, 299, -1000, -1000, {10, 10, 1, 1}},
      {2, 1, 0, 0, 449, 225, 30, 0, {10, 10, 22, 11}},   // the height follows downwards
      {2, 1, 0, 0, 225, 299, 0, 30, {10, 10, 24, 12}},   // the width follows to the right
      {2, 1, 0, 0, 150, 150, -45, -15, {7, 8, 23, 12}},  // the side dragged further leads
      {2, 1, 0, 0, 449, 225, -1000, 0, {10, 10, 2, 1}},  // no smaller region has 2:1
      {2, 1, 0, 0, 449, 225, 1000, 0, {10, 10, 30, 15}},
      {-2, 1, 0, 0, 449, 225, 30, 0, {10, 10, 22, 10}},  // a negative ratio is none
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.aspectX << ":" << c.aspectY << " " << c.minWidth << " " << c.x << "," << c.y);
    OverlayList list;
    list.addRoi("r", 20, 20, 40, 20, c.aspectX, c.aspectY, c.minWidth, c.minHeight);
    placeFifteenPixelCells(list);
    EXPECT_EQ(drag(list, c.x, c.y, c.dx, c.dy), c.after);
  }

  // A following side that would leave the grid holds the lead back.
  OverlayList low;
  low.addRoi("r", 0, 40, 40, 20, 2, 1, 0, 0);
  placeFifteenPixelCells(low);
  EXPECT_EQ(drag(low, 299, 375, 60, 0), (Cells{0, 20, 20, 10}));
}

TEST(OverlayEditor, PrivacyMasksStayWithinTheirLimits) {
  // Grid type 0: a quarter of the 40 x 30 visible cells, 300; growth backs off corner-wise.
  OverlayList quarter = masks();
  EXPECT_EQ(drag(quarter, 299, 299, 225, 225), (Cells{10, 10, 17, 17}));

  // Grid type 4: 60 x 33 units in cells of 32 pixels; 90 units over all elements.
  const auto budget = [](int firstWidth) {
    OverlayList list;
    list.setDescription("TQ312", "OV2715", "640x480", "");
    list.addMask("a", 0, 0, firstWidth, 5);
    list.addMask("b", 10, 10, 5, 5);
    list.updateGeometry(1920, 1080, {0, 0, 1920, 1080});
    return list;
  };
  OverlayList grows = budget(5);  // 25 + 25
  EXPECT_EQ(drag(grows, 479, 479, 128, 128), (Cells{10, 10, 8, 8}));
  EXPECT_EQ(drag(grows, 575, 479, 32, 0), (Cells{10, 10, 8, 8}));  // 89: one more is too many
  OverlayList full = budget(13);                                   // 65 + 25
  EXPECT_EQ(drag(full, 479, 400, 32, 0), (Cells{10, 10, 5, 5}));
  EXPECT_EQ(drag(full, 479, 400, -32, 0), (Cells{10, 10, 4, 5}));
}

TEST(OverlayEditor, DragsFollowTheCursorUnderEveryRotation) {
  for (int rotation = 0; rotation <= 5; ++rotation) {
    SCOPED_TRACE(rotation);
    OverlayList list;
    list.setRotation(rotation);
    list.addMask("a", 20, 20, 20, 20);
    placeFifteenPixelCells(list);
    const OverlayWindowRect w = front(list).window();
    drag(list, w.right, (w.top + w.bottom) / 2, 60, 0);
    const OverlayWindowRect wider = front(list).window();
    EXPECT_EQ((OverlayWindowRect{w.left, w.top, w.right + 60, w.bottom}), wider);
    drag(list, (w.left + w.right) / 2, (w.top + w.bottom) / 2, 0, 60);
    EXPECT_GT(front(list).window().top, wider.top);
    EXPECT_EQ(front(list).window().left, wider.left);
  }
}

TEST(OverlayEditor, CellsUnderTheCursorFollowTheGrid) {
  // Half a cell off (grid type 2, 31 of 40 columns in cells of 20 pixels): the next cell starts
  // half a cell early.
  OverlayList odd;
  odd.setDescription("TQ311", "ICX445", "640x480", "");
  odd.addMotionByName("m", 10, 10, 19, 19);
  odd.updateGeometry(640, 480, {0, 0, 620, 460});
  OverlayEditor editor(odd);
  ASSERT_TRUE(editor.buttonDown(200, 200));
  editor.move(209, 200);
  EXPECT_EQ(front(odd).cells().x, 10);
  editor.move(210, 200);
  EXPECT_EQ(front(odd).cells().x, 11);

  // A grid finer than the space (120 cells for 80 units): the element moves by what the space
  // holds, stays there with the next picture, and the grip stays on it.
  OverlayList fine;
  fine.addMask("a", 20, 20, 10, 10);
  fine.updateGeometry(1920, 1080, {0, 0, 1920, 1080});
  OverlayEditor fineEditor(fine);
  ASSERT_TRUE(fineEditor.buttonDown(30 * 16 + 60, 450));
  fineEditor.move(31 * 16 + 60, 450);
  EXPECT_EQ(front(fine).cells().x, 30);
  fineEditor.move(32 * 16 + 60, 450);
  EXPECT_EQ(front(fine).cells().x, 32);
  fine.updateGeometry(1920, 1080, {0, 0, 1920, 1080});
  EXPECT_EQ(front(fine).cells().x, 32);
  // The window halves under the held button: the grip re-anchors and nothing jumps.
  fine.updateGeometry(1920, 1080, {0, 0, 960, 540});
  fineEditor.move(32 * 16 + 60, 450);
  EXPECT_EQ(front(fine).cells().x, 32);
  fineEditor.move(32 * 16 + 68, 450);
  EXPECT_EQ(front(fine).cells().x, 33);
}

TEST(OverlayEditor, MissesAndListsWithoutAGridChangeNothing) {
  OverlayList hit = masks();
  OverlayList empty;
  placeFifteenPixelCells(empty);
  OverlayList noPicture;
  noPicture.addMask("a", 20, 20, 20, 20);
  OverlayList noArea = noPicture;
  noArea.updateGeometry(640, 480, {0, 0, 0, 0});
  for (OverlayList* list : {&hit, &empty, &noPicture, &noArea}) {
    OverlayEditor editor(*list);
    EXPECT_FALSE(editor.buttonDown(590, 440));
    EXPECT_EQ(editor.buttonDown(225, 225), list == &hit);
    editor.buttonUp();
    editor.move(300, 300);
    EXPECT_FALSE(editor.dragging());
    EXPECT_EQ(editor.cursor(), OverlayCursor::kArrow);
  }
  EXPECT_EQ(hit.elements().front().cells(), (Cells{10, 10, 10, 10}));
  EXPECT_EQ(noArea.elements().front().space(), (OverlaySpaceRect{20, 20, 20, 20}));
}

}  // namespace
}  // namespace vexa
