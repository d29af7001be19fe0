#include "shell/window_scroll.h"

#include <gtest/gtest.h>

namespace genshoku {
namespace {

// A picture 1000 pixels wide and high in a client area of 400 x 400: the vertical range
// leaves 48 rows for the buttons (1048), as the window tests check through the real bars.
WindowScroll TallPicture() {
  WindowScroll scroll;
  ResizeScroll(scroll, 400, 400);
  ResetScrollForPicture(scroll, 1000, 1000, 400);
  return scroll;
}

TEST(WindowScrollTest, LinesMoveSixteenPagesHalfThePage) {
  WindowScroll scroll = TallPicture();
  ScrollRecord& v = scroll.vertical;
  ApplyScrollRequest(v, ScrollRequest::LineDown, 0);
  EXPECT_EQ(v.nPos, 16);
  ApplyScrollRequest(v, ScrollRequest::PageDown, 0);
  EXPECT_EQ(v.nPos, 216);
  ApplyScrollRequest(v, ScrollRequest::LineUp, 0);
  EXPECT_EQ(v.nPos, 200);
  ApplyScrollRequest(v, ScrollRequest::PageUp, 0);
  EXPECT_EQ(v.nPos, 0);
  ApplyScrollRequest(v, ScrollRequest::LineUp, 0);
  EXPECT_EQ(v.nPos, 0) << "stops at the top";
  v.nPage = 401;  // odd pages halve downwards
  ApplyScrollRequest(v, ScrollRequest::PageDown, 0);
  EXPECT_EQ(v.nPos, 200);
  ApplyScrollRequest(v, ScrollRequest::Other, 77);
  EXPECT_EQ(v.nPos, 200) << "unknown requests leave the position";
  for (int i = 0; i < 100; ++i) ApplyScrollRequest(v, ScrollRequest::PageDown, 0);
  EXPECT_EQ(v.nPos, 1048 - 401) << "stops at the bottom";
}

TEST(WindowScrollTest, ClampingPrefersTheMinimumWhenThePageIsLarger) {
  ScrollRecord record{0, 100, 300, 50};
  ClampScrollPosition(record);
  EXPECT_EQ(record.nPos, 0);
  EXPECT_FALSE(ScrollBarUsable(record));
  ScrollRecord negative{0, 500, 100, -30};
  ClampScrollPosition(negative);
  EXPECT_EQ(negative.nPos, 0);
  EXPECT_TRUE(ScrollBarUsable(negative));
  ScrollRecord exact{0, 400, 400, 10};
  ClampScrollPosition(exact);
  EXPECT_EQ(exact.nPos, 0);
  EXPECT_FALSE(ScrollBarUsable(exact)) << "a page that covers the range has nothing to scroll";
}

TEST(WindowScrollTest, RequestsFarOutsideTheRangeDoNotWrap) {
  ScrollRecord record{0, 1000, 200, 0};
  ApplyScrollRequest(record, ScrollRequest::ThumbPosition, 2147483647);
  EXPECT_EQ(record.nPos, 800);
  ApplyScrollRequest(record, ScrollRequest::LineDown, 0);
  EXPECT_EQ(record.nPos, 800);
  record.nPos = -2147483647 - 1;
  ApplyScrollRequest(record, ScrollRequest::LineUp, 0);
  EXPECT_EQ(record.nPos, 0);
}

TEST(WindowScrollTest, ResizingSetsPagesAndPullsPositionsBack) {
  WindowScroll scroll = TallPicture();
  ApplyScrollRequest(scroll.vertical, ScrollRequest::ThumbTrack, 648);
  ApplyScrollRequest(scroll.horizontal, ScrollRequest::ThumbTrack, 600);
  ResizeScroll(scroll, 700, 900);
  EXPECT_EQ(scroll.horizontal.nPage, 700);
  EXPECT_EQ(scroll.vertical.nPage, 900);
  EXPECT_EQ(scroll.horizontal.nPos, 300);
  EXPECT_EQ(scroll.vertical.nPos, 148);
  ResizeScroll(scroll, 1200, 1100);
  EXPECT_EQ(scroll.horizontal.nPos, 0);
  EXPECT_EQ(scroll.vertical.nPos, 0);
}

TEST(WindowScrollTest, ANewPictureKeepsTheHorizontalPageAndPositionInsideItsRange) {
  WindowScroll scroll = TallPicture();
  ApplyScrollRequest(scroll.horizontal, ScrollRequest::ThumbTrack, 250);
  ApplyScrollRequest(scroll.vertical, ScrollRequest::ThumbTrack, 300);
  ResetScrollForPicture(scroll, 2000, 50, 400);
  EXPECT_EQ(scroll.horizontal.nPage, 400);
  EXPECT_EQ(scroll.horizontal.nPos, 250) << "kept";
  EXPECT_EQ(scroll.vertical.nMax, 98);
  EXPECT_EQ(scroll.vertical.nPos, 0);
  // A narrower picture must not be left scrolled out of sight.
  ResetScrollForPicture(scroll, 300, 50, 400);
  EXPECT_EQ(scroll.horizontal.nMax, 300);
  EXPECT_EQ(scroll.horizontal.nPos, 0);
}

TEST(WindowScrollTest, ThePictureStartsUnderTheButtons) {
  WindowScroll scroll = TallPicture();
  EXPECT_EQ(PlacePicture(scroll).x, 0);
  EXPECT_EQ(PlacePicture(scroll).y, 48);
  ApplyScrollRequest(scroll.horizontal, ScrollRequest::ThumbTrack, 30);
  ApplyScrollRequest(scroll.vertical, ScrollRequest::ThumbTrack, 100);
  EXPECT_EQ(PlacePicture(scroll).x, -30);
  EXPECT_EQ(PlacePicture(scroll).y, -52);
}

}  // namespace
}  // namespace genshoku
