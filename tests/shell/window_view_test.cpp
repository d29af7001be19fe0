// What the keys and view modes do to the picture on display: scrolling by keys with the
// bars' own steps, fitting the picture to the window and back, showing the original while
// a key is held, and which button has the focus.

#include <gtest/gtest.h>

#include "formats/bmp_layout.h"
#include "shell/picture_frame.h"
#include "shell/window_controller.h"
#include "shell/window_texts.h"
#include "support_files.h"

namespace genshoku {
namespace {

using testing::MakeBmp24;
using testing::TestPattern;
using testing::WriteWholeFile;

class WindowView : public ::testing::Test {
 protected:
  void SetUp() override { controller_.Resize(400, 400); }

  void DropPicture(int width, int height) {
    WriteWholeFile(folder_.Path("photo.bmp"), MakeBmp24(width, height, TestPattern));
    ASSERT_EQ(controller_.Drop({folder_.Path("photo.bmp")}), DropResult::Loaded);
  }
  void Reduce() {
    ReductionJob job;
    ASSERT_TRUE(controller_.BeginReduction(job));
    controller_.FinishReduction(ExecuteReduction(job, {nullptr, &SilentDiagnostics(), nullptr}));
    ASSERT_TRUE(controller_.buttons().saveEnabled);
  }

  testing::ScratchFolder folder_;
  WindowController controller_{SilentDiagnostics()};
};

TEST_F(WindowView, KeysScrollWithTheBarsOwnSteps) {
  DropPicture(1000, 1000);  // vertical range 0..1048, page 400: positions up to 648
  const WindowScroll& scroll = controller_.scroll();
  controller_.ScrollByKey(ScrollKey::Down);
  EXPECT_EQ(scroll.vertical.nPos, 16);
  controller_.ScrollByKey(ScrollKey::PageDown);
  EXPECT_EQ(scroll.vertical.nPos, 216);
  controller_.ScrollByKey(ScrollKey::PageUp);
  controller_.ScrollByKey(ScrollKey::Up);
  EXPECT_EQ(scroll.vertical.nPos, 0);
  controller_.ScrollByKey(ScrollKey::Up);
  EXPECT_EQ(scroll.vertical.nPos, 0) << "clamped like the bar";
  controller_.ScrollByKey(ScrollKey::End);
  EXPECT_EQ(scroll.vertical.nPos, 648);
  controller_.ScrollByKey(ScrollKey::Home);
  EXPECT_EQ(scroll.vertical.nPos, 0);
  controller_.ScrollByKey(ScrollKey::Right);
  controller_.ScrollByKey(ScrollKey::Right);
  controller_.ScrollByKey(ScrollKey::Left);
  EXPECT_EQ(scroll.horizontal.nPos, 16);
  EXPECT_EQ(controller_.frame().x, -16);
  EXPECT_FALSE(controller_.frame().scaled);
}

TEST_F(WindowView, FittingScalesTheWholePictureAndTheNormalViewComesBackAsItWas) {
  DropPicture(1000, 500);
  controller_.Scroll(ScrollBarKind::Vertical, ScrollRequest::ThumbTrack, 100);
  controller_.Scroll(ScrollBarKind::Horizontal, ScrollRequest::ThumbTrack, 300);
  const WindowScroll before = controller_.scroll();
  const PictureFrame normal = controller_.frame();
  EXPECT_EQ(normal.x, -300);
  EXPECT_EQ(normal.y, 48 - 100);

  controller_.ToggleFitToWindow();
  const PictureFrame fitted = controller_.frame();
  EXPECT_TRUE(fitted.scaled);
  EXPECT_EQ(fitted.x, 0);
  EXPECT_EQ(fitted.y, 48);
  EXPECT_EQ(fitted.width, 400);
  EXPECT_EQ(fitted.height, 200);
  EXPECT_FALSE(controller_.ScrollBarEnabled(ScrollBarKind::Vertical));
  EXPECT_FALSE(controller_.ScrollBarEnabled(ScrollBarKind::Horizontal));
  // Nothing scrolls while fitted, neither bars nor keys.
  controller_.Scroll(ScrollBarKind::Vertical, ScrollRequest::LineDown, 0);
  controller_.ScrollByKey(ScrollKey::End);
  EXPECT_EQ(controller_.scroll().vertical.nPos, before.vertical.nPos);

  controller_.ToggleFitToWindow();
  const PictureFrame back = controller_.frame();
  EXPECT_EQ(back.x, normal.x);
  EXPECT_EQ(back.y, normal.y);
  EXPECT_EQ(back.width, 1000);
  EXPECT_FALSE(back.scaled);
  EXPECT_EQ(controller_.scroll().horizontal.nPos, before.horizontal.nPos);
  EXPECT_TRUE(controller_.ScrollBarEnabled(ScrollBarKind::Vertical));
}

TEST(FittedFrame, KeepsTheAspectAndEnlargesSmallPictures) {
  // Height-bound: the area under the buttons is 400 x 352.
  PictureFrame frame = FittedFrame(400, 400, 100, 200);
  EXPECT_EQ(frame.height, 352);
  EXPECT_EQ(frame.width, 176);
  frame = FittedFrame(400, 400, 3, 1);
  EXPECT_EQ(frame.width, 400);
  EXPECT_EQ(frame.height, 133);
  EXPECT_TRUE(frame.scaled);
  // Already the size that fits: not scaled. A very thin picture keeps one pixel.
  EXPECT_FALSE(FittedFrame(400, 400, 400, 352).scaled);
  EXPECT_EQ(FittedFrame(400, 400, 100000, 1).height, 1);
  // No room under the buttons: nothing is drawn.
  EXPECT_EQ(FittedFrame(400, 40, 10, 10).width, 0);
}

TEST_F(WindowView, TheOriginalIsShownWhileHeldOnceThereIsAResult) {
  DropPicture(6, 5);
  controller_.HoldOriginal(true);
  EXPECT_FALSE(controller_.showingOriginal()) << "nothing to compare before a reduction";
  controller_.HoldOriginal(false);
  const std::vector<uint8_t> block = controller_.picture().imageBlock;
  Reduce();
  EXPECT_FALSE(controller_.picture().imageBlockOwned());
  // The original's pixels are kept as they were shown, for display only.
  const DisplayView original = controller_.OriginalView();
  ASSERT_TRUE(original.imageVisible);
  EXPECT_EQ(original.info, controller_.picture().originalBlock.data() + kBmpFileHeaderSize);
  EXPECT_EQ(controller_.picture().originalBlock, block);
  EXPECT_EQ(ReadLe16(controller_.View().info + 14), 8);

  controller_.HoldOriginal(true);
  EXPECT_TRUE(controller_.showingOriginal());
  EXPECT_EQ(controller_.notice().kind, NoticeKind::Info);
  controller_.HoldOriginal(false);
  EXPECT_FALSE(controller_.showingOriginal());
  EXPECT_EQ(controller_.notice().kind, NoticeKind::None);
  // A new picture has nothing to compare with, and its original block is gone.
  DropPicture(4, 4);
  controller_.HoldOriginal(true);
  EXPECT_FALSE(controller_.showingOriginal());
  EXPECT_TRUE(controller_.picture().originalBlock.empty());
}

TEST_F(WindowView, TheFocusGoesToTheButtonPressedNext) {
  EXPECT_EQ(controller_.focusTarget(), FocusTarget::None);
  DropPicture(4, 4);
  EXPECT_EQ(controller_.focusTarget(), FocusTarget::Reduce);
  ReductionJob job;
  ASSERT_TRUE(controller_.BeginReduction(job));
  EXPECT_EQ(controller_.focusTarget(), FocusTarget::None);
  controller_.FinishReduction(ExecuteReduction(job, {nullptr, &SilentDiagnostics(), nullptr}));
  EXPECT_EQ(controller_.focusTarget(), FocusTarget::Save);
}

TEST_F(WindowView, OpeningIsRefusedOnlyWhileAReductionRuns) {
  ASSERT_TRUE(controller_.BeginOpen().has_value());
  EXPECT_TRUE(controller_.BeginOpen()->startFolder.empty());
  DropPicture(4, 4);
  EXPECT_EQ(controller_.BeginOpen()->startFolder, folder_.folder().string() + "/");
  ReductionJob job;
  ASSERT_TRUE(controller_.BeginReduction(job));
  EXPECT_EQ(controller_.notice().kind, NoticeKind::None);
  // Neither the dialog nor a drop opens anything now, and the window says why.
  EXPECT_FALSE(controller_.BeginOpen().has_value());
  EXPECT_EQ(controller_.notice().text, kBusyText);
  EXPECT_EQ(controller_.Drop({folder_.Path("photo.bmp")}), DropResult::Ignored);
  EXPECT_EQ(controller_.notice().text, kBusyText);
  // Once the result is shown, that is no news any more.
  controller_.FinishReduction(ExecuteReduction(job, {nullptr, &SilentDiagnostics(), nullptr}));
  EXPECT_EQ(controller_.notice().kind, NoticeKind::None);
}

}  // namespace
}  // namespace genshoku
