#include "shell/window_texts.h"

#include <cstdio>

namespace genshoku {

namespace {

const char* ExtensionFor(PictureFormat format) {
  switch (format) {
    case PictureFormat::Jpeg: return ".jpg";
    case PictureFormat::Png: return ".png";
    case PictureFormat::Gif: return ".gif";
    case PictureFormat::Bmp: break;
  }
  return ".bmp";
}

std::string LoadReason(const LoadFailure& failure) {
  switch (failure.problem) {
    case LoadProblem::Missing: return "ファイルがありません";
    case LoadProblem::Folder: return "フォルダーです";
    case LoadProblem::NotPermitted: return "読み取り権限がありません";
    case LoadProblem::Empty: return "空のファイルです";
    case LoadProblem::OtherFormat:
      // The reader follows the extension, case included: photo.Jpg is read as BMP. The
      // extension of what the file holds opens it.
      return std::string("拡張子を ") + ExtensionFor(failure.content) + " にしてください";
    case LoadProblem::NotAPicture:
      if (!failure.extensionNamesReader) return "画像ファイルではありません";
      return std::string(InputReaderName(failure.reader)) + " 画像ではありません";
    case LoadProblem::CompressedBmp: return "圧縮 BMP には未対応です";
    case LoadProblem::OldGif: return "GIF87a には未対応です";
    case LoadProblem::TooLarge: return "1 億画素を超えています";
    case LoadProblem::Unreadable: break;
  }
  return std::string("壊れているか未対応の ") + InputReaderName(failure.reader) + " です";
}

}  // namespace

std::string KmeansProgressTitle(int pass) {
  char title[256];
  std::snprintf(title, sizeof title, "Kmeans %d kaime\n", pass);
  return title;
}

std::string LoadFailureText(const LoadFailure& failure) {
  return "開けません。" + LoadReason(failure);
}

std::string SaveFailureText(SaveProblem problem) {
  std::string text = "保存できません。";
  switch (problem) {
    case SaveProblem::FolderMissing: return text + "フォルダーがありません";
    case SaveProblem::IsFolder: return text + "同名のフォルダーがあります";
    case SaveProblem::NotPermitted: return text + "書き込み権限がありません";
    case SaveProblem::GifTooLarge: return text + "GIF には大きすぎます";
    case SaveProblem::Unwritable: break;
  }
  return text + "ここには書き込めません";
}

std::string ReductionFailureText(ReduceResult result) {
  const std::string text = "減色できません";
  switch (result) {
    case ReduceResult::Ok:
    case ReduceResult::Stopped: return "";
    case ReduceResult::OutOfMemory: return text + "。メモリー不足です";
    case ReduceResult::JacobiNotConverged: return text + "。計算が収束しません";
    case ReduceResult::InvalidArguments: break;
  }
  return text;
}

}  // namespace genshoku
