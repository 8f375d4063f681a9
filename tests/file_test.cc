// The file operations under the readers and writers: what counts as a file
// the run may use, opening only what exists, deleting and replacing.

#include "runtime/file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "runtime/reparse_tag.h"
#include "runtime/run_failure.h"
#include "scratch_dir.h"

namespace brinok {
namespace {

namespace fs = std::filesystem;
using ::brinok::testing::ScratchDir;

FailureKind KindOf(const std::function<void()>& operation) {
  try {
    operation();
  } catch (const RunFailure& failure) {
    return failure.kind();
  }
  ADD_FAILURE() << "no run failure";
  return FailureKind::kIo;
}

// Each row puts something that is not a regular file at the name "x".
struct NotRegularCase {
  const char* name;
  std::function<void(const ScratchDir&)> make;
};

void PrintTo(const NotRegularCase& not_regular_case, std::ostream* out) {
  *out << not_regular_case.name;
}

class NotRegularTest : public ::testing::TestWithParam<NotRegularCase> {};

TEST_P(NotRegularTest, IsRefusedAndLeftAlone) {
  ScratchDir dir;
  dir.Write("target", "outside");
  GetParam().make(dir);
  if (IsSkipped() || HasFatalFailure()) return;
  const std::string path = (dir / "x").string();
  const auto before = dir.Contents();

  EXPECT_EQ(KindOf([&] { File::OpenInput(path.c_str()); }),
            FailureKind::kNotRegular);
  EXPECT_EQ(KindOf([&] { File::OpenInputIfExists(path.c_str()); }),
            FailureKind::kNotRegular);
  EXPECT_EQ(KindOf([&] { File::OpenOutput(path.c_str()); }),
            FailureKind::kNotRegular);
  EXPECT_EQ(KindOf([&] { File::OpenAppendIfExists(path.c_str()); }),
            FailureKind::kNotRegular);
  EXPECT_EQ(KindOf([&] { File::OpenToDelete(path.c_str()); }),
            FailureKind::kNotRegular);
  EXPECT_EQ(dir.Contents(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, NotRegularTest,
    ::testing::Values(
        NotRegularCase{
            "Directory",
            [](const ScratchDir& dir) { fs::create_directory(dir / "x"); }},
        NotRegularCase{"Fifo",
                       [](const ScratchDir& dir) {
                         ASSERT_EQ(::mkfifo((dir / "x").c_str(), 0644), 0);
                       }},
        // Opening for output empties regular files only: a device, like a
        // FIFO, is refused with nothing done to it.
        NotRegularCase{"CharacterDevice",
                       [](const ScratchDir& dir) {
                         if (::mknod((dir / "x").c_str(), S_IFCHR | 0666,
                                     ::makedev(1, 3)) != 0) {
                           GTEST_SKIP() << "making a device needs privileges";
                         }
                       }},
        NotRegularCase{"LinkToFile",
                       [](const ScratchDir& dir) {
                         fs::create_symlink(dir / "target", dir / "x");
                       }},
        NotRegularCase{"DanglingLink",
                       [](const ScratchDir& dir) {
                         fs::create_symlink(dir / "nowhere", dir / "x");
                       }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(File, AppendAndInputIfExistsCreateNothing) {
  ScratchDir dir;
  const std::string report = (dir / "report").string();
  EXPECT_FALSE(File::OpenAppendIfExists(report.c_str()).has_value());
  EXPECT_FALSE(File::OpenInputIfExists(report.c_str()).has_value());
  EXPECT_FALSE(dir.Read("report").has_value());

  dir.Write("report", "kept");
  std::optional<File> file = File::OpenAppendIfExists(report.c_str());
  ASSERT_TRUE(file.has_value());
  file->Close();
  EXPECT_EQ(dir.Read("report"), "kept");
}

TEST(File, MissingInputIsNotFound) {
  ScratchDir dir;
  EXPECT_EQ(KindOf([&] { File::OpenInput((dir / "missing").c_str()); }),
            FailureKind::kNotFound);
}

TEST(File, RemoveMissingIsNotFound) {
  ScratchDir dir;
  EXPECT_EQ(KindOf([&] { RemoveFile((dir / "missing").c_str()); }),
            FailureKind::kNotFound);
}

TEST(File, RenameReplacesTheTargetWhole) {
  ScratchDir dir;
  dir.Write("new", "new");
  dir.Write("old", "a much longer old content");
  RenameReplacing((dir / "new").c_str(), (dir / "old").c_str());
  EXPECT_EQ(dir.Contents(),
            (std::map<std::string, std::string>{{"old", "new"}}));
}

TEST(File, FailedRenameLeavesTheTarget) {
  ScratchDir dir;
  dir.Write("old", "old");
  EXPECT_EQ(KindOf([&] {
              RenameReplacing((dir / "missing").c_str(), (dir / "old").c_str());
            }),
            FailureKind::kNotFound);
  EXPECT_EQ(dir.Read("old"), "old");
}

TEST(ReparseTag, OnlyLinksAndMountPointsAreRefused) {
  const struct {
    const char* kind;
    std::uint32_t tag;
    bool refused;
  } tags[] = {
      {"symbolic link", 0xA000000C, true},
      {"junction or mount point", 0xA0000003, true},
      {"WSL symbolic link", 0xA000001D, true},
      {"OneDrive placeholder", 0x9000001A, false},
      {"OneDrive placeholder, subtype 1", 0x9000101A, false},
      {"OneDrive (older)", 0x80000021, false},
      {"deduplicated file", 0x80000013, false},
      {"compressed file (WOF)", 0x80000017, false},
      {"hierarchical storage", 0xC0000004, false},
  };
  for (const auto& t : tags) {
    EXPECT_EQ(IsNameSurrogateTag(t.tag), t.refused) << t.kind;
  }
}

}  // namespace
}  // namespace brinok
