#pragma once
// Every text the window shows, byte for byte (UTF-8).

#include <array>
#include <string>
#include <string_view>

namespace genshoku {

// The window title: the engine's fixed settings spelled out.
inline constexpr std::string_view kWindowTitle =
    "２５６色への減色(7.5xY3xU4xV分散小数大津誤差拡散DistanceSquareSumMax_rgbygamma1.1_edge6_"
    "et20_t5_bun1_edon2_kmon1_JpegPngGifInPngGifOut Ver0112)";

inline constexpr std::string_view kReduceCaption = "減色する";
inline constexpr std::string_view kSaveCaption = "保存する";

// The save dialog.
inline constexpr std::string_view kSaveDialogTitle = "名前を付けて保存";
inline constexpr std::string_view kSaveDefaultExtension = "bmp";
struct SaveFilter {
  std::string_view description;
  std::string_view pattern;
};
inline constexpr std::array<SaveFilter, 4> kSaveFilters = {{
    {"bmp file(*.bmp)", "*.bmp"},
    {"png file(*.png)", "*.png"},
    {"gif file(*.gif)", "*.gif"},
    {"all file(*.*)", "*.*"},
}};

// The title while the k-means refinement runs: "Kmeans %d kaime\n", line feed included.
std::string KmeansProgressTitle(int pass);

}  // namespace genshoku
