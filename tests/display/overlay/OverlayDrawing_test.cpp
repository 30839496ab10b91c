#include "display/overlay/OverlayDrawing.h"

#include <gtest/gtest.h>

#include <iterator>
#include <vector>

#include "display/CImgDlg.h"
#include "display/ContextMenu.h"
#include "platform/Clock.h"
#include "platform/UiLoop.h"
#include "support/FakeStreamView.h"

namespace vexa {
namespace {

constexpr uint32_t kPenPixel = 0x483D8B;    // the pens as the canvas reads them back
constexpr uint32_t kFrontPixel = 0xFF0000;

class OverlayDrawingTest : public testing::Test {
 protected:
  OverlayDrawingTest() {
    view.mpeg4 = true;
    window.create();
  }
  void show(int width, int height) {
    view.picture = test::Picture{makeBgrPictureHeader(width, height),
                                 std::vector<uint8_t>(size_t(width) * height * 3, 0)};
    ++view.frameNumber;
    for (int step = 0; step < 3; ++step) {
      clock.advance(CImgDlg::kDrawPeriodMs);
      loop.runDue();
    }
  }
  uint32_t at(int x, int y) const { return window.presentCanvas().pixel(x, y); }

  platform::ManualClock clock{1000};
  platform::UiLoop loop{clock};
  test::FakeStreamView view;
  CImgDlg window{&view, nullptr, loop, 640, 480};
};

// The front element in the 3 px red pen around its window rectangle, the one behind in the 1 px
// pen; an element reaching above the visible grid loses its top edge.
TEST_F(OverlayDrawingTest, OutlinesOnTheCanvasWithTheFrontOneRed) {
  window.SetModel("TQ311");
  window.AddMask("above", 0, 0, 40, 30);  // rows 0..29 of 128, the visible ones start at 19
  window.AddMask("door", 60, 60, 20, 20);
  show(1280, 720);
  const OverlayList& list = window.overlays();
  ASSERT_TRUE(list.placed());
  const OverlayWindowRect door = list.elements().front().window();
  const OverlayWindowRect above = std::next(list.elements().begin())->window();
  const OverlayArea area = list.area();

  const int middleX = (door.left + door.right) / 2;
  EXPECT_EQ(at(middleX, door.top), kFrontPixel);
  EXPECT_EQ(at(middleX, door.top - 1), kFrontPixel) << "3 px wide";
  EXPECT_EQ(at(middleX, door.top + 1), kFrontPixel);
  EXPECT_NE(at(middleX, door.top + 2), kFrontPixel);
  EXPECT_EQ(at(door.left, (door.top + door.bottom) / 2), kFrontPixel);

  ASSERT_LT(above.top, area.top);
  ASSERT_GE(above.bottom, area.top);
  const int aboveX = (above.left + above.right) / 2;
  EXPECT_EQ(at(aboveX, above.bottom), kPenPixel);
  EXPECT_NE(at(aboveX, above.bottom + 1), kPenPixel) << "1 px wide";
  EXPECT_NE(at(aboveX, int(area.top)), kPenPixel) << "no top edge: it lies above the area";
  EXPECT_EQ(at(above.left, int(area.top)), kPenPixel) << "the left edge is cut to the area";

  // Removing both leaves the picture alone.
  window.RemoveMask("door");
  window.RemoveMask("above");
  show(1280, 720);
  EXPECT_EQ(at(middleX, door.top), 0u);
}

// The window hands the left button to the editor: a drag moves the element in whole cells and the
// queries follow; the cursor shows the edge under it; centre mode leaves the overlays alone.
TEST_F(OverlayDrawingTest, TheLeftButtonEditsAndTheCursorFollows) {
  window.SetModel("TQ311");
  window.AddMask("door", 60, 60, 20, 20);
  show(1280, 720);
  const OverlayWindowRect door = window.overlays().elements().front().window();
  window.onMouseMove(door.right - 2, (door.top + door.bottom) / 2);
  EXPECT_EQ(window.cursorState().shape, CursorShape::kSizeWE);
  const int x = (door.left + door.right) / 2, y = (door.top + door.bottom) / 2;
  window.onLeftButtonDown(x, y);
  window.onMouseMove(x + 40, y);
  window.onLeftButtonUp(x + 40, y);
  EXPECT_GT(window.GetMaskPoint("door", 0), 60);
  EXPECT_EQ(window.GetMaskPoint("door", 1), 60);
  show(1280, 720);
  EXPECT_EQ(at(door.left, y), 0u) << "the outline moved away";

  window.ptz().SetModel("TQ330");
  window.ptz().SetEnPt(1);
  window.OnCommand(kCommandCentreMode);
  const int before = window.GetMaskPoint("door", 0);
  const OverlayWindowRect moved = window.overlays().elements().front().window();
  window.onLeftButtonDown((moved.left + moved.right) / 2, y);
  window.onMouseMove((moved.left + moved.right) / 2 + 40, y);
  window.onLeftButtonUp((moved.left + moved.right) / 2 + 40, y);
  EXPECT_EQ(window.GetMaskPoint("door", 0), before);
}

}  // namespace
}  // namespace vexa
