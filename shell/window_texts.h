#pragma once
// Every text the window shows, byte for byte (UTF-8).

#include <array>
#include <string>
#include <string_view>

#include "engine/reduce_colors.h"
#include "shell/failure_causes.h"

namespace genshoku {

// The window title: the engine's fixed settings spelled out.
inline constexpr std::string_view kWindowTitle =
    "２５６色への減色(7.5xY3xU4xV分散小数大津誤差拡散DistanceSquareSumMax_rgbygamma1.1_edge6_"
    "et20_t5_bun1_edon2_kmon1_JpegPngGifInPngGifOut Ver0112)";

inline constexpr std::string_view kReduceCaption = "減色する";
inline constexpr std::string_view kSaveCaption = "保存する";

// Shown in the picture area while there is no picture.
inline constexpr std::string_view kEmptyWindowHint = "ここに画像をドロップ (Ctrl+O で開く)";

// A file dialog's list of file kinds: the text shown (with its patterns in parentheses, as
// the dialog reads them) and, for saving, the extension a name without one receives.
struct FileFilter {
  std::string_view description;
  std::string_view defaultExtension;
};

// The save dialog. A name typed without an extension takes the chosen filter's.
inline constexpr std::string_view kSaveDialogTitle = "名前を付けて保存";
inline constexpr std::string_view kSaveDefaultExtension = "bmp";
inline constexpr std::array<FileFilter, 4> kSaveFilters = {{
    {"bmp file(*.bmp)", "bmp"},
    {"png file(*.png)", "png"},
    {"gif file(*.gif)", "gif"},
    {"all file(*.*)", kSaveDefaultExtension},
}};

// The open dialog: every kind the window reads, the first selected.
inline constexpr std::string_view kOpenDialogTitle = "画像を開く";
inline constexpr std::array<FileFilter, 6> kOpenFilters = {{
    {"画像ファイル (*.jpg *.jpeg *.png *.gif *.bmp)", ""},
    {"JPEG ファイル (*.jpg *.jpeg)", ""},
    {"PNG ファイル (*.png)", ""},
    {"GIF ファイル (*.gif)", ""},
    {"BMP ファイル (*.bmp)", ""},
    {"すべてのファイル (*)", ""},
}};

// The labels of both dialogs.
inline constexpr std::string_view kDialogLookIn = "場所:";
inline constexpr std::string_view kDialogFileName = "ファイル名:";
inline constexpr std::string_view kDialogFileType = "ファイルの種類:";
inline constexpr std::string_view kDialogOpen = "開く";
inline constexpr std::string_view kDialogSave = "保存";
inline constexpr std::string_view kDialogCancel = "キャンセル";

// The title while the k-means refinement runs: "Kmeans %d kaime\n", line feed included.
std::string KmeansProgressTitle(int pass);

// The one-line notices of the picture area. Each names its file (without folder) first.
std::string LoadFailureText(const LoadFailure& failure);
std::string SaveFailureText(SaveProblem problem);
inline constexpr std::string_view kSavedText = "保存しました";
inline constexpr std::string_view kDamagedText = "壊れています (読めた部分を表示)";
// Why a reduction did not finish; empty when it was stopped on purpose.
std::string ReductionFailureText(ReduceResult result);
inline constexpr std::string_view kSourceChangedText = "減色できません。元のファイルを読めません";
// A drop or Ctrl+O while the engine works: nothing is opened.
inline constexpr std::string_view kBusyText = "減色が終わるまで開けません";
inline constexpr std::string_view kOriginalShownText = "減色前の画像を表示中";

}  // namespace genshoku
