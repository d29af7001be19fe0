#include "common/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/common/file_size_limit.h"

namespace genshoku {
namespace {

namespace fs = std::filesystem;

class AtomicFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "atomic-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::string Path(const std::string& name) const { return (folder_ / name).string(); }

  static std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static void Put(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }
  // Everything in the folder: a failed write must leave no temporary file behind.
  size_t EntryCount() const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(folder_), {}));
  }

  fs::path folder_;
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
  EXPECT_EQ(EntryCount(), 1u);
}

TEST_F(AtomicFileTest, DestroyingWithoutCommitLeavesTheTargetAlone) {
  const std::string target = Path("out.bin");
  Put(target, "keep me");
  {
    AtomicFile file;
    ASSERT_TRUE(file.Open(target));
    file.Write("new", 3);
  }
  EXPECT_EQ(Contents(target), "keep me");
  EXPECT_EQ(EntryCount(), 1u);
}

TEST_F(AtomicFileTest, ADirectoryOrDeviceIsNotATarget) {
  fs::create_directory(Path("folder"));
  AtomicFile file;
  EXPECT_FALSE(file.Open(Path("folder")));
  EXPECT_NE(file.error().find("folder"), std::string::npos);
  EXPECT_FALSE(file.Open("/dev/null"));
  EXPECT_NE(file.error().find("not a regular file"), std::string::npos);
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
}

TEST_F(AtomicFileTest, AMissingFolderIsReported) {
  AtomicFile file;
  EXPECT_FALSE(file.Open(Path("no/such/folder/out.bin")));
  EXPECT_FALSE(file.error().empty());
  EXPECT_FALSE(file.Commit());
}

TEST_F(AtomicFileTest, ALinkIsFollowedAndKept) {
  const std::string real = Path("real.bin");
  const std::string link = Path("link.bin");
  Put(real, "before");
  fs::create_symlink(real, link);
  AtomicFile file;
  ASSERT_TRUE(file.Open(link));
  file.Write("after", 5);
  ASSERT_TRUE(file.Commit());
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(Contents(real), "after");
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
  EXPECT_FALSE(file.error().empty());
  EXPECT_EQ(Contents(target), "previous");
  EXPECT_EQ(EntryCount(), 1u);
}

TEST_F(AtomicFileTest, AReadOnlyFolderIsReported) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  fs::create_directory(Path("locked"));
  const std::string target = Path("locked/out.bin");
  Put(target, "previous");
  fs::permissions(Path("locked"), fs::perms::owner_read | fs::perms::owner_exec);
  AtomicFile file;
  EXPECT_FALSE(file.Open(target));
  fs::permissions(Path("locked"), fs::perms::owner_all);
  EXPECT_EQ(Contents(target), "previous");
}

}  // namespace
}  // namespace genshoku
