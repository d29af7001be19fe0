#include "shell/window_scroll.h"

#include <algorithm>
#include <climits>

namespace genshoku {

namespace {

// Positions are ints like the bars' own; a request far outside the range must not wrap.
int SaturatingAdd(int a, int b) {
  const long long sum = static_cast<long long>(a) + b;
  return static_cast<int>(std::clamp<long long>(sum, INT_MIN, INT_MAX));
}

}  // namespace

int LargestScrollPosition(const ScrollRecord& record) {
  return std::max(record.nMin, SaturatingAdd(record.nMax, -record.nPage));
}

void ClampScrollPosition(ScrollRecord& record) {
  const int upper = std::min(record.nPos, SaturatingAdd(record.nMax, -record.nPage));
  record.nPos = record.nMin > upper ? record.nMin : upper;
}

int RequestedScrollPosition(const ScrollRecord& record, ScrollRequest request, int thumb) {
  switch (request) {
    case ScrollRequest::LineUp: return SaturatingAdd(record.nPos, -kScrollLine);
    case ScrollRequest::LineDown: return SaturatingAdd(record.nPos, kScrollLine);
    case ScrollRequest::PageUp: return SaturatingAdd(record.nPos, -(record.nPage / 2));
    case ScrollRequest::PageDown: return SaturatingAdd(record.nPos, record.nPage / 2);
    case ScrollRequest::ThumbPosition:
    case ScrollRequest::ThumbTrack: return thumb;
    case ScrollRequest::Other: break;
  }
  return record.nPos;
}

void ApplyScrollRequest(ScrollRecord& record, ScrollRequest request, int thumb) {
  record.nPos = RequestedScrollPosition(record, request, thumb);
  ClampScrollPosition(record);
}

bool ScrollBarUsable(const ScrollRecord& record) {
  return LargestScrollPosition(record) > record.nMin;
}

void ResetScrollForPicture(WindowScroll& scroll, int imageWidth, int imageHeight,
                           int clientHeight) {
  scroll.horizontal.nMin = 0;
  scroll.horizontal.nMax = imageWidth;
  // The horizontal position is kept, but a narrower picture must not leave it beyond the
  // new range: painting reads this copy, and the picture would be drawn off screen.
  ClampScrollPosition(scroll.horizontal);
  scroll.vertical.nMin = 0;
  scroll.vertical.nMax = SaturatingAdd(imageHeight, kPictureTop);
  scroll.vertical.nPage = clientHeight;
  scroll.vertical.nPos = 0;
  scroll.configured = true;
}

void ResizeScroll(WindowScroll& scroll, int clientWidth, int clientHeight) {
  scroll.horizontal.nPage = clientWidth;
  scroll.vertical.nPage = clientHeight;
  ClampScrollPosition(scroll.horizontal);
  ClampScrollPosition(scroll.vertical);
}

PicturePlacement PlacePicture(const WindowScroll& scroll) {
  return {-scroll.horizontal.nPos, kPictureTop - scroll.vertical.nPos};
}

}  // namespace genshoku
