// Saving when the disk or the folder does not cooperate: a full disk, a read-only folder,
// a target that is a folder or not a regular file, a folder that does not exist. For each writer
// (BMP, PNG, GIF) the save must fail with one line on standard error, leave the previous
// file under the target's name byte for byte, and leave no temporary file behind.
//
// A full disk is made two ways: a file-size limit (RLIMIT_FSIZE, with SIGXFSZ ignored so
// that writes fail with EFBIG instead of ending the process), which needs no privileges,
// and a real 16 KB tmpfs, mounted in a child process with its own mount table when the
// system allows it. The read-only folder is a read-only tmpfs in the same way, and a folder
// without write permission, tried by a child process that gave up the superuser's rights.

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "shell/save_formats.h"
#include "support_files.h"
#include "tests/common/child_process.h"
#include "tests/common/file_size_limit.h"

namespace genshoku {
namespace {

namespace fs = std::filesystem;
using testing::BecomeUnprivileged;
using testing::ChildOutcome;
using testing::ChildResult;
using testing::FileSizeLimit;
using testing::kChildSkipped;
using testing::MakeScratchFolder;
using testing::ReadWholeFile;
using testing::RemoveFolder;
using testing::RunInChild;
using testing::ScratchFolder;
using testing::TakeOwnMountTable;
using testing::WriteWholeFile;

const char* const kTargetNames[] = {"result.bmp", "result.png", "result.gif"};
const std::vector<uint8_t> kPreviousFile = {'t', 'h', 'e', ' ', 'o', 'l', 'd', ' ',
                                            'p', 'i', 'c', 't', 'u', 'r', 'e', '\n'};

// Every writer's file of this picture is 8 KB or more, well past the 4 KB the full-disk
// cases leave free.
const PictureState& NoisyResult() {
  static const PictureState state = testing::ReducedPicture(100, 80);
  return state;
}

std::set<std::string> Entries(const std::string& folder) {
  std::set<std::string> names;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

int ErrLines(const CapturedDiagnostics& diagnostics) {
  return int(std::count_if(
      diagnostics.lines().begin(), diagnostics.lines().end(),
      [](const CapturedDiagnostics::Line& line) { return line.stream == DiagnosticStream::Err; }));
}

// Saves `name` into `folder` and describes every way the failure was not clean; empty
// when the save failed as it should. `expectedEntries` is what the folder must hold after.
std::string SaveMustFailCleanly(const std::string& folder, const std::string& name,
                                const std::set<std::string>& expectedEntries) {
  const std::string target = folder + "/" + name;
  const bool hadFile = fs::is_regular_file(target);
  CapturedDiagnostics diagnostics;
  std::string problems;
  if (SaveResult(NoisyResult(), target, name, diagnostics)) problems += "the save succeeded; ";
  // The PNG writer's block statistics on standard output are its normal report.
  if (ErrLines(diagnostics) != 1) {
    problems += "expected one line on standard error, got: [" +
                diagnostics.Text(DiagnosticStream::Err) + "]; ";
  }
  if (hadFile && ReadWholeFile(target) != kPreviousFile) problems += "the previous file changed; ";
  if (Entries(folder) != expectedEntries) {
    problems += "the folder holds:";
    for (const std::string& entry : Entries(folder)) problems += " " + entry;
    problems += "; ";
  }
  return problems.empty() ? problems : name + ": " + problems;
}

TEST(SaveFaults, AFileSizeLimitActsAsAFullDisk) {
  for (const char* name : kTargetNames) {
    ScratchFolder folder;
    WriteWholeFile(folder.Path(name), kPreviousFile);
    FileSizeLimit limit(4096);
    ASSERT_TRUE(limit.applied());
    EXPECT_EQ(SaveMustFailCleanly(folder.folder().string(), name, {name}), "");
  }
}

TEST(SaveFaults, TheSamePicturesSaveWhenNothingStandsInTheWay) {
  // Without this the failures above could come from the picture instead of the disk.
  for (const char* name : kTargetNames) {
    ScratchFolder folder;
    WriteWholeFile(folder.Path(name), kPreviousFile);
    CapturedDiagnostics diagnostics;
    EXPECT_TRUE(SaveResult(NoisyResult(), folder.Path(name), name, diagnostics)) << name;
    EXPECT_EQ(ErrLines(diagnostics), 0) << diagnostics.AllText();
    EXPECT_GT(ReadWholeFile(folder.Path(name)).size(), 8000u) << name;
    EXPECT_EQ(Entries(folder.folder().string()), std::set<std::string>{name});
  }
}

TEST(SaveFaults, ATargetThatIsAFolderIsLeftAlone) {
  for (const char* name : kTargetNames) {
    ScratchFolder folder;
    fs::create_directory(folder.Path(name));
    WriteWholeFile(folder.Path(name) + "/inside", kPreviousFile);
    EXPECT_EQ(SaveMustFailCleanly(folder.folder().string(), name, {name}), "");
    EXPECT_EQ(ReadWholeFile(folder.Path(name) + "/inside"), kPreviousFile);
  }
}

TEST(SaveFaults, APipeIsNotReplaced) {
  // A pipe in the scratch folder stands for every node that is not a regular file: a test
  // that saves onto a real device could, after a mistake, rename a file over the machine's
  // device node.
  for (const char* name : kTargetNames) {
    ScratchFolder folder;
    ASSERT_EQ(::mkfifo(folder.Path(name).c_str(), 0600), 0);
    EXPECT_EQ(SaveMustFailCleanly(folder.folder().string(), name, {name}), "");
    struct stat node;
    ASSERT_EQ(::stat(folder.Path(name).c_str(), &node), 0);
    EXPECT_TRUE(S_ISFIFO(node.st_mode)) << name;
  }
}

TEST(SaveFaults, AMissingFolderIsReported) {
  for (const char* name : kTargetNames) {
    ScratchFolder folder;
    const std::string missing = folder.Path("missing");
    EXPECT_EQ(SaveMustFailCleanly(missing, name, {}), "");
    EXPECT_FALSE(fs::exists(missing));
  }
}

TEST(SaveFaults, AFolderWithoutWritePermissionIsReported) {
  // As an ordinary user in a child process: folder permissions do not bind the superuser
  // the tests may run as.
  const ChildResult result = RunInChild([] {
    if (!BecomeUnprivileged()) ::_exit(kChildSkipped);
    std::string problems;
    for (const char* name : kTargetNames) {
      const std::string folder = MakeScratchFolder();
      WriteWholeFile(folder + "/" + name, kPreviousFile);
      ::chmod(folder.c_str(), 0555);
      problems += SaveMustFailCleanly(folder, name, {name});
      RemoveFolder(folder);
    }
    return problems;
  });
  if (result.outcome == ChildOutcome::Skipped) GTEST_SKIP() << "cannot become an ordinary user";
  EXPECT_EQ(result.outcome, ChildOutcome::Passed) << result.report;
}

// For each target, in a child process: a 16 KB tmpfs mounted on a scratch folder (or the
// test is skipped) holding the previous file, a fault made by `makeFault`, which returns
// what the folder must hold after the save, and a save that must fail cleanly.
using MakeFault = std::set<std::string> (*)(const std::string& folder, const char* name);

void ExpectCleanFailuresOnOwnTmpfs(MakeFault makeFault) {
  ScratchFolder scratch;
  const std::string folder = scratch.folder().string();
  const ChildResult result = RunInChild([&folder, makeFault] {
    if (!TakeOwnMountTable()) ::_exit(kChildSkipped);
    std::string problems;
    for (const char* name : kTargetNames) {
      if (::mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=16k,mode=0755") != 0) {
        ::_exit(kChildSkipped);
      }
      WriteWholeFile(folder + "/" + name, kPreviousFile);
      problems += SaveMustFailCleanly(folder, name, makeFault(folder, name));
      ::umount(folder.c_str());
    }
    return problems;
  });
  if (result.outcome == ChildOutcome::Skipped)
    GTEST_SKIP() << "file systems cannot be mounted here";
  EXPECT_EQ(result.outcome, ChildOutcome::Passed) << result.report;
}

TEST(SaveFaults, AFullTmpfsLeavesThePreviousFile) {
  ExpectCleanFailuresOnOwnTmpfs([](const std::string& folder, const char* name) {
    // The old file takes one page, the filler two: one page of the four is free.
    WriteWholeFile(folder + "/filler", std::vector<uint8_t>(8192, 0));
    return std::set<std::string>{name, "filler"};
  });
}

TEST(SaveFaults, AReadOnlyFileSystemIsReported) {
  ExpectCleanFailuresOnOwnTmpfs([](const std::string& folder, const char* name) {
    if (::mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
      ::_exit(kChildSkipped);
    }
    return std::set<std::string>{name};
  });
}

}  // namespace
}  // namespace genshoku
