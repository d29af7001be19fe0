#pragma once
// The window's scroll arithmetic. The window keeps its own copy of each scroll bar's range,
// page and position; painting and scrolling read these copies, and the bars merely show
// them. The picture is drawn under the two buttons: at vertical position 0 its top row is
// kPictureTop pixels below the top of the client area, which is why the vertical range is
// the picture's height plus kPictureTop.

namespace genshoku {

// Distance from the top of the client area to the picture's top row at position 0.
inline constexpr int kPictureTop = 48;
// How far one line request (an arrow of the bar) moves.
inline constexpr int kScrollLine = 16;

// One bar, in the layout of a Win32 SCROLLINFO record.
struct ScrollRecord {
  int nMin = 0;
  int nMax = 0;
  int nPage = 0;
  int nPos = 0;
};

// The requests a scroll bar can make, with the codes the bars send.
enum class ScrollRequest {
  LineUp = 0,         // line up or left
  LineDown = 1,       // line down or right
  PageUp = 2,         // page up or left
  PageDown = 3,       // page down or right
  ThumbPosition = 4,  // the thumb was released at a position
  ThumbTrack = 5,     // the thumb is being dragged
  Other = 6,          // anything else leaves the position where it is
};

// The largest position the record allows: nMax - nPage, but never below nMin.
int LargestScrollPosition(const ScrollRecord& record);

// Puts the position back between nMin and nMax - nPage (nMin wins when the page is larger
// than the range).
void ClampScrollPosition(ScrollRecord& record);

// The position a request asks for, before clamping. `thumb` is the thumb's position, used
// by the two thumb requests only. Page requests move by half a page.
int RequestedScrollPosition(const ScrollRecord& record, ScrollRequest request, int thumb);

// Applies a request to one bar: the requested position, clamped.
void ApplyScrollRequest(ScrollRecord& record, ScrollRequest request, int thumb);

// Whether there is anything to scroll: a bar whose page covers its range is shown disabled.
bool ScrollBarUsable(const ScrollRecord& record);

struct WindowScroll {
  ScrollRecord horizontal;
  ScrollRecord vertical;
  bool configured = false;  // false until the first picture sets the ranges
};

// A new picture: horizontal range 0..width keeping page and position (the position
// clamped into the new range), vertical range 0..height + kPictureTop with the client
// height as page and position 0.
void ResetScrollForPicture(WindowScroll& scroll, int imageWidth, int imageHeight, int clientHeight);

// The client area changed size: the pages become the client's width and height, and both
// positions are clamped.
void ResizeScroll(WindowScroll& scroll, int clientWidth, int clientHeight);

// Where the picture's top-left pixel goes in the client area.
struct PicturePlacement {
  int x = 0;
  int y = 0;
};
PicturePlacement PlacePicture(const WindowScroll& scroll);

}  // namespace genshoku
