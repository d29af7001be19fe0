// AtomicFile held to its promise in every situation a save meets: the target is either the
// complete new file or exactly what it was, and the folder never keeps a temporary file.
// Each case checks the whole folder afterwards, not only the target.

#include "common/atomic_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "common/temporary_files.h"
#include "tests/common/child_process.h"
#include "tests/common/file_size_limit.h"

namespace genshoku {
namespace {

namespace fs = std::filesystem;
using testing::ChildOutcome;
using testing::ChildResult;
using testing::RunInChild;

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void Put(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// Every name in `folder` (links as links, not followed).
std::set<std::string> Entries(const std::string& folder) {
  std::set<std::string> names;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

// Writes `text` to `target` through a whole Open, Write, Commit; false with the error.
bool WriteWhole(const std::string& target, const std::string& text, std::string* error = nullptr,
                ExistingTarget existing = ExistingTarget::Replace) {
  AtomicFile file;
  const bool done =
      file.Open(target, existing) && file.Write(text.data(), text.size()) && file.Commit();
  if (error != nullptr) *error = file.error();
  return done;
}

mode_t ModeOf(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

class AtomicFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = testing::MakeScratchFolder();
    ASSERT_FALSE(folder_.empty());
  }
  void TearDown() override { testing::RemoveFolder(folder_); }

  std::string Path(const std::string& name) const { return folder_ + "/" + name; }

  std::string folder_;
};

TEST_F(AtomicFileTest, CommitReplacesTheTargetWhole) {
  const std::string target = Path("out.bin");
  Put(target, "old contents");
  AtomicFile file;
  ASSERT_TRUE(file.Open(target));
  const std::string big(300000, 'x');  // more than one buffer
  ASSERT_TRUE(file.Write(big.data(), big.size()));
  EXPECT_EQ(Contents(target), "old contents") << "nothing is visible before the commit";
  ASSERT_TRUE(file.Commit());
  EXPECT_EQ(Contents(target), big);
  EXPECT_EQ(Entries(folder_), std::set<std::string>{"out.bin"});
}

TEST_F(AtomicFileTest, DiscardingOrDestroyingLeavesTheTargetAlone) {
  const std::string target = Path("out.bin");
  Put(target, "keep me");
  {
    AtomicFile file;
    ASSERT_TRUE(file.Open(target));
    file.Write("new", 3);
  }
  EXPECT_EQ(Contents(target), "keep me");
  AtomicFile file;
  ASSERT_TRUE(file.Open(target));
  file.Write("new", 3);
  file.Discard();
  EXPECT_FALSE(file.Commit()) << "a commit after a discard has nothing to commit";
  EXPECT_FALSE(file.Commit()) << "nor has a second one";
  EXPECT_EQ(Contents(target), "keep me");
  EXPECT_EQ(Entries(folder_), std::set<std::string>{"out.bin"});
  ASSERT_TRUE(file.Open(target)) << "the object can be used again";
  file.Write("again", 5);
  EXPECT_TRUE(file.Commit());
  EXPECT_FALSE(file.Commit());
  EXPECT_EQ(Contents(target), "again");
}

TEST_F(AtomicFileTest, ANewFileTakesItsModeFromTheUmask) {
  for (const mode_t mask : {mode_t{022}, mode_t{077}, mode_t{002}, mode_t{0}, mode_t{0277}}) {
    const mode_t saved = ::umask(mask);
    const std::string target = Path("new-" + std::to_string(mask));
    const bool written = WriteWhole(target, "x");
    ::umask(saved);
    ASSERT_TRUE(written);
    EXPECT_EQ(ModeOf(target), 0666 & ~mask) << "umask " << std::oct << mask;
  }
}

TEST_F(AtomicFileTest, AReplacedFileKeepsItsMode) {
  for (const mode_t mode : {mode_t{0600}, mode_t{0644}, mode_t{0755}, mode_t{0640}, mode_t{0444}}) {
    const std::string target = Path("kept-" + std::to_string(mode));
    Put(target, "old");
    ASSERT_EQ(::chmod(target.c_str(), mode), 0);
    const mode_t saved = ::umask(077);
    const bool written = WriteWhole(target, "new");
    ::umask(saved);
    ASSERT_TRUE(written);
    EXPECT_EQ(Contents(target), "new");
    EXPECT_EQ(ModeOf(target), mode) << std::oct << mode;
  }
  // The set-user bit belonged to the old file and its owner: it does not pass on.
  const std::string target = Path("setuid");
  Put(target, "old");
  ASSERT_EQ(::chmod(target.c_str(), 04755), 0);
  ASSERT_TRUE(WriteWhole(target, "new"));
  EXPECT_EQ(ModeOf(target), 0755);
}

TEST_F(AtomicFileTest, RelativeNamesAndTheCurrentFolder) {
  const fs::path before = fs::current_path();
  fs::create_directory(Path("sub"));
  fs::current_path(folder_);
  EXPECT_TRUE(WriteWhole("plain.bin", "1"));
  EXPECT_TRUE(WriteWhole("./dotted.bin", "2"));
  EXPECT_TRUE(WriteWhole("sub/inner.bin", "3"));
  EXPECT_TRUE(WriteWhole("sub/../up.bin", "4"));
  fs::current_path(folder_ + "/sub");
  EXPECT_TRUE(WriteWhole("../parent.bin", "5"));
  fs::current_path(before);
  EXPECT_EQ(Contents(Path("plain.bin")), "1");
  EXPECT_EQ(Contents(Path("dotted.bin")), "2");
  EXPECT_EQ(Contents(Path("sub/inner.bin")), "3");
  EXPECT_EQ(Contents(Path("up.bin")), "4");
  EXPECT_EQ(Contents(Path("parent.bin")), "5");
  EXPECT_EQ(Entries(folder_),
            (std::set<std::string>{"sub", "plain.bin", "dotted.bin", "up.bin", "parent.bin"}));
  EXPECT_EQ(Entries(Path("sub")), std::set<std::string>{"inner.bin"});
}

TEST_F(AtomicFileTest, ATargetAtTheRootFolder) {
  // The scratch folder becomes "/" of a child process, so that nothing touches the real one.
  const std::string folder = folder_;
  const ChildResult result = RunInChild([folder] {
    if (!testing::MakeRootFolder(folder)) ::_exit(testing::kChildSkipped);
    std::string problems;
    if (!WriteWhole("/at-root.bin", "root")) problems += "writing /at-root.bin failed; ";
    if (Contents("/at-root.bin") != "root") problems += "the file does not hold the bytes; ";
    if (!WriteWhole("/at-root.bin", "again")) problems += "replacing it failed; ";
    if (Entries("/") != std::set<std::string>{"at-root.bin"}) problems += "other entries; ";
    return problems;
  });
  if (result.outcome == ChildOutcome::Skipped) GTEST_SKIP() << "no chroot here";
  EXPECT_EQ(result.outcome, ChildOutcome::Passed) << result.report;
  EXPECT_EQ(Contents(Path("at-root.bin")), "again");
}

TEST_F(AtomicFileTest, ALinkIsFollowedIntoAnotherFolderAndKept) {
  fs::create_directory(Path("elsewhere"));
  const std::string real = Path("elsewhere/real.bin");
  Put(real, "before");
  fs::create_symlink(real, Path("link.bin"));
  fs::create_symlink("elsewhere/real.bin", Path("relative-link.bin"));
  ASSERT_TRUE(WriteWhole(Path("link.bin"), "after"));
  EXPECT_TRUE(fs::is_symlink(Path("link.bin")));
  EXPECT_EQ(Contents(real), "after");
  ASSERT_TRUE(WriteWhole(Path("relative-link.bin"), "through the relative link"));
  EXPECT_TRUE(fs::is_symlink(Path("relative-link.bin")));
  EXPECT_EQ(Contents(real), "through the relative link");
  EXPECT_EQ(Entries(folder_),
            (std::set<std::string>{"elsewhere", "link.bin", "relative-link.bin"}));
  EXPECT_EQ(Entries(Path("elsewhere")), std::set<std::string>{"real.bin"});
}

TEST_F(AtomicFileTest, ADanglingLinkIsNeitherFollowedNorReplaced) {
  fs::create_directory(Path("elsewhere"));
  fs::create_symlink(Path("elsewhere/missing.bin"), Path("dangling.bin"));
  std::string error;
  EXPECT_FALSE(WriteWhole(Path("dangling.bin"), "x", &error));
  EXPECT_NE(error.find("dangling.bin"), std::string::npos) << error;
  EXPECT_TRUE(fs::is_symlink(Path("dangling.bin")));
  EXPECT_EQ(Entries(Path("elsewhere")), std::set<std::string>{});
  EXPECT_EQ(Entries(folder_), (std::set<std::string>{"elsewhere", "dangling.bin"}));
  EXPECT_FALSE(WriteWhole(Path("dangling.bin"), "x", &error, ExistingTarget::Keep));
  EXPECT_TRUE(fs::is_symlink(Path("dangling.bin")));
}

TEST_F(AtomicFileTest, FoldersPipesAndMissingFoldersAreNotTargets) {
  // A pipe stands for devices: a test that writes onto a real device node could, after a
  // mistake, rename a file over it for the whole machine.
  fs::create_directory(Path("folder"));
  Put(Path("folder/inside"), "kept");
  ASSERT_EQ(::mkfifo(Path("pipe").c_str(), 0600), 0);
  fs::create_symlink(Path("folder"), Path("folder-link"));
  std::string error;
  EXPECT_FALSE(WriteWhole(Path("folder"), "x", &error));
  EXPECT_NE(error.find("folder"), std::string::npos) << error;
  EXPECT_FALSE(WriteWhole(Path("folder-link"), "x", &error));
  EXPECT_FALSE(WriteWhole(Path("pipe"), "x", &error));
  EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
  EXPECT_FALSE(WriteWhole(Path("no/such/folder/out.bin"), "x", &error));
  EXPECT_NE(error.find("out.bin"), std::string::npos) << error;
  EXPECT_NE(error.find("does not exist"), std::string::npos) << error;
  EXPECT_FALSE(WriteWhole(Path("pipe/out.bin"), "x", &error));
  EXPECT_FALSE(WriteWhole("", "x", &error));
  EXPECT_FALSE(error.empty());
  struct stat info;
  ASSERT_EQ(::stat(Path("pipe").c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));
  EXPECT_EQ(Contents(Path("folder/inside")), "kept");
  EXPECT_EQ(Entries(folder_), (std::set<std::string>{"folder", "pipe", "folder-link"}));
  EXPECT_EQ(Entries(Path("folder")), std::set<std::string>{"inside"});
}

TEST_F(AtomicFileTest, AFailedRenameLeavesTheTargetAndNoTemporaryFile) {
  const std::string target = Path("out.bin");
  AtomicFile file;
  ASSERT_TRUE(file.Open(target));
  file.Write("new", 3);
  // The name becomes a folder with something in it while the file is written.
  fs::create_directory(target);
  Put(target + "/inside", "kept");
  EXPECT_FALSE(file.Commit());
  EXPECT_NE(file.error().find("out.bin"), std::string::npos) << file.error();
  EXPECT_EQ(Contents(target + "/inside"), "kept");
  EXPECT_EQ(Entries(folder_), std::set<std::string>{"out.bin"});
}

TEST_F(AtomicFileTest, AFullDiskLeavesTheTargetUntouched) {
  // A file-size limit makes writes fail the way a full disk does.
  const std::string target = Path("out.bin");
  Put(target, "previous");
  AtomicFile file;
  bool committed = true;
  {
    testing::FileSizeLimit limit(4096);
    ASSERT_TRUE(limit.applied());
    if (file.Open(target)) {
      const std::string big(200000, 'y');
      file.Write(big.data(), big.size());
      committed = file.Commit();
    }
  }
  EXPECT_FALSE(committed);
  EXPECT_NE(file.error().find("out.bin"), std::string::npos) << file.error();
  EXPECT_EQ(Contents(target), "previous");
  EXPECT_EQ(Entries(folder_), std::set<std::string>{"out.bin"});
}

TEST_F(AtomicFileTest, AReadOnlyFolderIsReported) {
  // As an ordinary user in a child process, since folder permissions do not bind the
  // superuser the tests may run as.
  const ChildResult result = RunInChild([] {
    if (!testing::BecomeUnprivileged()) ::_exit(testing::kChildSkipped);
    const std::string folder = testing::MakeScratchFolder();
    if (folder.empty()) return std::string("no scratch folder");
    fs::create_directory(folder + "/locked");
    const std::string target = folder + "/locked/out.bin";
    Put(target, "previous");
    ::chmod((folder + "/locked").c_str(), 0555);
    std::string problems, error;
    if (WriteWhole(target, "new", &error)) problems += "the write succeeded; ";
    if (error.find("out.bin") == std::string::npos) problems += "the error names no file; ";
    if (WriteWhole(folder + "/locked/other.bin", "new", &error, ExistingTarget::Keep)) {
      problems += "a new file was made; ";
    }
    if (Contents(target) != "previous") problems += "the target changed; ";
    if (Entries(folder + "/locked") != std::set<std::string>{"out.bin"}) problems += "debris; ";
    testing::RemoveFolder(folder + "/locked");
    testing::RemoveFolder(folder);
    return problems;
  });
  if (result.outcome == ChildOutcome::Skipped) GTEST_SKIP() << "cannot become an ordinary user";
  EXPECT_EQ(result.outcome, ChildOutcome::Passed) << result.report;
}

TEST_F(AtomicFileTest, TheLongestNamesAreWritable) {
  // The temporary name is short, so a target name of the file system's longest length works.
  for (size_t length : {200u, 244u, 250u, 255u}) {
    const std::string name(length, 'n');
    ASSERT_TRUE(WriteWhole(Path(name), "long")) << length;
    ASSERT_TRUE(WriteWhole(Path(name), "longer")) << length;
    EXPECT_EQ(Contents(Path(name)), "longer");
    fs::remove(Path(name));
  }
  EXPECT_TRUE(Entries(folder_).empty());
}

TEST_F(AtomicFileTest, KeepingRefusesANameTakenBeforeOrWhileWriting) {
  const std::string target = Path("out.bin");
  Put(target, "there first");
  AtomicFile file;
  EXPECT_FALSE(file.Open(target, ExistingTarget::Keep));
  EXPECT_TRUE(file.targetExists());
  EXPECT_NE(file.error().find("out.bin"), std::string::npos);

  const std::string late = Path("late.bin");
  ASSERT_TRUE(file.Open(late, ExistingTarget::Keep));
  EXPECT_FALSE(file.targetExists());
  file.Write("mine", 4);
  Put(late, "precious");  // another program takes the name meanwhile
  EXPECT_FALSE(file.Commit());
  EXPECT_TRUE(file.targetExists());
  EXPECT_EQ(Contents(late), "precious");
  EXPECT_EQ(Entries(folder_), (std::set<std::string>{"out.bin", "late.bin"}));

  ASSERT_TRUE(file.Open(Path("free.bin"), ExistingTarget::Keep));
  file.Write("mine", 4);
  EXPECT_TRUE(file.Commit());
  EXPECT_EQ(Contents(Path("free.bin")), "mine");
}

TEST_F(AtomicFileTest, OfTwoProcessesKeepingOneNameExactlyOneWins) {
  const std::string target = Path("contested.bin");
  for (int round = 0; round < 20; ++round) {
    fs::remove(target);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t children[2];
    for (int i = 0; i < 2; ++i) {
      children[i] = ::fork();
      ASSERT_GE(children[i], 0);
      if (children[i] == 0) {
        AtomicFile file;
        if (!file.Open(target, ExistingTarget::Keep)) ::_exit(3);
        const std::string text(100000, static_cast<char>('a' + i));
        file.Write(text.data(), text.size());
        char go;
        ::close(ready[1]);
        if (::read(ready[0], &go, 1) < 0) ::_exit(4);  // both commit at once
        ::_exit(file.Commit() ? 0 : (file.targetExists() ? 5 : 6));
      }
    }
    ::close(ready[0]);
    ::close(ready[1]);  // releases both
    int codes[2];
    for (int i = 0; i < 2; ++i) {
      int status = 0;
      ::waitpid(children[i], &status, 0);
      ASSERT_TRUE(WIFEXITED(status));
      codes[i] = WEXITSTATUS(status);
    }
    ASSERT_TRUE((codes[0] == 0 && codes[1] == 5) || (codes[0] == 5 && codes[1] == 0))
        << codes[0] << " " << codes[1];
    const std::string winner = Contents(target);
    EXPECT_EQ(winner, std::string(100000, codes[0] == 0 ? 'a' : 'b'));
    EXPECT_EQ(Entries(folder_), std::set<std::string>{"contested.bin"});
  }
}

// A child writes into the folder and is ended by `signal` in the middle; it must die by
// that very signal, and leave the folder as it was.
void ExpectSignalLeavesNoTemporaryFile(const std::string& folder, int signal) {
  const std::string target = folder + "/out.bin";
  Put(target, "previous");
  int started[2];
  ASSERT_EQ(::pipe(started), 0);
  std::fflush(nullptr);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(started[0]);
    const rlimit noCore = {0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);  // SIGQUIT and SIGXFSZ would leave a core file
    AtomicFile file;
    if (!file.Open(target)) ::_exit(3);
    const std::string piece(100000, 'z');
    file.Write(piece.data(), piece.size());
    if (signal == SIGXFSZ) {
      // The real thing: a write beyond the file-size limit.
      const rlimit small = {4096, RLIM_INFINITY};
      ::setrlimit(RLIMIT_FSIZE, &small);
    } else if (signal == SIGPIPE) {
      // The real thing: a write into a pipe nobody reads.
      int pipe[2];
      if (::pipe(pipe) != 0) ::_exit(3);
      ::close(pipe[0]);
      if (::write(pipe[1], "x", 1) < 0) ::_exit(4);
    } else {
      if (::write(started[1], "s", 1) != 1) ::_exit(3);
      for (;;) ::pause();
    }
    for (int i = 0; i < 1000; ++i) file.Write(piece.data(), piece.size());
    ::_exit(file.Commit() ? 0 : 4);
  }
  ::close(started[1]);
  char byte;
  if (signal != SIGXFSZ && signal != SIGPIPE) {
    ASSERT_EQ(::read(started[0], &byte, 1), 1);
    ::kill(child, signal);
  }
  ::close(started[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal)
      << "signal " << signal << ", status " << status;
  EXPECT_EQ(Contents(target), "previous") << "signal " << signal;
  EXPECT_EQ(Entries(folder), std::set<std::string>{"out.bin"}) << "signal " << signal;
}

TEST_F(AtomicFileTest, AnEndingSignalRemovesTheTemporaryFile) {
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGXFSZ}) {
    ExpectSignalLeavesNoTemporaryFile(folder_, signal);
  }
}

TEST_F(AtomicFileTest, TheRegistryRemovesOnlyLiveFilesOfThisProcess) {
  AtomicFile live;
  ASSERT_TRUE(live.Open(Path("live.bin")));
  AtomicFile done;
  ASSERT_TRUE(done.Open(Path("done.bin")));
  ASSERT_TRUE(done.Commit());
  EXPECT_EQ(Entries(folder_).size(), 2u) << "the live temporary file and done.bin";
  TemporaryFiles::RemoveAll();
  EXPECT_EQ(Entries(folder_), std::set<std::string>{"done.bin"});
  EXPECT_FALSE(live.Commit()) << "its temporary file is gone";
  EXPECT_EQ(Entries(folder_), std::set<std::string>{"done.bin"});
}

}  // namespace
}  // namespace genshoku
