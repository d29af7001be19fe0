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
    case LoadProblem::Missing: return "ファイルが見つかりません";
    case LoadProblem::Folder: return "フォルダーです。画像ファイルを選んでください";
    case LoadProblem::NotPermitted: return "読み取りが許可されていません";
    case LoadProblem::Empty: return "空のファイルです";
    case LoadProblem::OtherFormat:
      // The reader follows the extension, case included: photo.Jpg is read as BMP.
      return std::string("中身は ") + PictureFormatName(failure.content) + " 画像です。拡張子を " +
             ExtensionFor(failure.content) + " にすると開けます";
    case LoadProblem::NotAPicture:
      return std::string(InputReaderName(failure.reader)) + " 画像ではありません";
    case LoadProblem::CompressedBmp: return "圧縮された BMP には対応していません";
    case LoadProblem::OldGif: return "GIF87a 形式には対応していません";
    case LoadProblem::TooLarge: return "1 億画素を超える画像は開けません";
    case LoadProblem::Unreadable: break;
  }
  return std::string("壊れているか、対応していない ") + InputReaderName(failure.reader) +
         " 形式です";
}

}  // namespace

std::string KmeansProgressTitle(int pass) {
  char title[256];
  std::snprintf(title, sizeof title, "Kmeans %d kaime\n", pass);
  return title;
}

std::string LoadFailureText(const LoadFailure& failure) {
  return "開けませんでした。" + LoadReason(failure);
}

std::string SaveFailureText(SaveProblem problem) {
  std::string text = "保存できませんでした。";
  switch (problem) {
    case SaveProblem::FolderMissing: return text + "保存先のフォルダーがありません";
    case SaveProblem::IsFolder: return text + "同じ名前のフォルダーがあります";
    case SaveProblem::NotPermitted: return text + "このフォルダーへの書き込みは許可されていません";
    case SaveProblem::GifTooLarge: return text + "GIF の幅と高さは 65535 画素までです";
    case SaveProblem::Unwritable: break;
  }
  return text + "この場所には書き込めません";
}

std::string ReductionFailureText(ReduceResult result) {
  const std::string text = "減色できませんでした";
  switch (result) {
    case ReduceResult::Ok:
    case ReduceResult::Stopped: return "";
    case ReduceResult::OutOfMemory: return text + "。メモリーが足りません";
    case ReduceResult::JacobiNotConverged: return text + "。計算が収束しませんでした";
    case ReduceResult::InvalidArguments: break;
  }
  return text;
}

}  // namespace genshoku
