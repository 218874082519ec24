#include "work_dir.hpp"

#include "common/error.hpp"
#include "run_paths.hpp"
#include "temp_dir.hpp"

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace encpipe {
namespace {

namespace fs = std::filesystem;
using quen::testing::TempDir;

std::string refusal(const fs::path& path) {
  try {
    WorkDir::acquire(path);
  } catch (const std::exception& e) {
    return e.what();
  }
  return "accepted";
}

mode_t mode_of(const fs::path& path) {
  struct stat st {};
  EXPECT_EQ(lstat(path.c_str(), &st), 0);
  return st.st_mode & 07777;
}

TEST(WorkDirName, TemporaryDirectoryIsTmpdirUnchangedElseTmp) {
  EXPECT_EQ(temporary_directory(nullptr), "/tmp");
  EXPECT_EQ(temporary_directory(""), "");
  EXPECT_EQ(temporary_directory("/var/tmp/"), "/var/tmp/");
}

TEST(WorkDirName, JoinAddsOneSlashOnlyWhenNeeded) {
  EXPECT_EQ(work_dir_path("/tmp", "holiday"), "/tmp/quenav1_holiday");
  EXPECT_EQ(work_dir_path("/var/tmp/", "holiday"), "/var/tmp/quenav1_holiday");
  EXPECT_EQ(work_dir_path("", "holiday"), "quenav1_holiday");
  EXPECT_EQ(work_dir_path("rel/dir", "a.b"), "rel/dir/quenav1_a.b");
}

TEST(RunPaths, NamesFollowTheInputStem) {
  const auto paths = run_paths("clips/holiday.mov", std::nullopt, nullptr);
  EXPECT_EQ(paths.input_stem, "holiday");
  EXPECT_EQ(paths.output_path, "holiday_quenav1.mp4");
  EXPECT_EQ(paths.work_dir, "/tmp/quenav1_holiday");
  EXPECT_EQ(paths.roi_path, "/tmp/quenav1_holiday/roi.txt");
  EXPECT_EQ(paths.av1_path, "/tmp/quenav1_holiday/out.av1");

  const auto relative = run_paths("archive.tar.gz", std::string("x/y.mkv"), "");
  EXPECT_EQ(relative.output_path, "x/y.mkv");
  EXPECT_EQ(relative.roi_path, "quenav1_archive.tar/roi.txt");

  const auto nameless = run_paths("/", std::string(""), "/var/tmp/");
  EXPECT_EQ(nameless.output_path, "");  // an empty --output stays empty
  EXPECT_EQ(nameless.work_dir, "/var/tmp/quenav1_output");
  EXPECT_EQ(run_paths("", std::nullopt, "/t").output_path, "output_quenav1.mp4");
}

TEST(WorkDir, CreatesMissingParentsWithUmaskedModeAndRemovesEverything) {
  TempDir tmp("workdir");
  const auto path = tmp / "a" / "b" / "quenav1_x";
  const mode_t old_mask = umask(027);
  auto dir = WorkDir::acquire(path);
  umask(old_mask);
  EXPECT_EQ(mode_of(tmp / "a"), 0750u);
  EXPECT_EQ(mode_of(path), 0750u);
  std::ofstream(path / "roi.txt") << "0 1\n";
  fs::create_directory(path / "sub");
  dir.remove();
  EXPECT_FALSE(fs::exists(path));
  EXPECT_TRUE(fs::exists(tmp / "a" / "b"));
}

TEST(WorkDir, ANewWorkDirIsNeverWritableByOthersWhateverTheUmask) {
  TempDir tmp("workdir");
  const auto path = tmp / "p" / "quenav1_shared";
  const mode_t old_mask = umask(002);
  auto dir = WorkDir::acquire(path);
  umask(old_mask);
  EXPECT_EQ(mode_of(tmp / "p"), 0775u);
  EXPECT_EQ(mode_of(path), 0755u);
}

TEST(WorkDir, ReusesADirectoryLeftByAnEarlierRun) {
  TempDir tmp("workdir");
  const auto path = tmp / "quenav1_x";
  fs::create_directory(path);
  fs::permissions(path, fs::perms::owner_all);
  std::ofstream(path / "roi.txt") << "old";
  auto dir = WorkDir::acquire(path);
  EXPECT_EQ(dir.path(), path);
  EXPECT_TRUE(fs::exists(path / "roi.txt"));
}

TEST(WorkDir, RefusesWhatAnotherUserCouldHavePlanted) {
  TempDir tmp("workdir");
  fs::create_directory(tmp / "elsewhere");
  fs::create_directory_symlink(tmp / "elsewhere", tmp / "quenav1_link");
  EXPECT_EQ(refusal(tmp / "quenav1_link"),
            "work directory " + (tmp / "quenav1_link").string() + " is a symbolic link");
  fs::create_symlink(tmp / "missing", tmp / "quenav1_dangling");
  EXPECT_EQ(refusal(tmp / "quenav1_dangling"),
            "work directory " + (tmp / "quenav1_dangling").string() + " is a symbolic link");
  EXPECT_FALSE(fs::exists(tmp / "missing"));

  std::ofstream(tmp / "quenav1_file") << "x";
  EXPECT_EQ(refusal(tmp / "quenav1_file"),
            "work directory " + (tmp / "quenav1_file").string() + " is not a directory");

  fs::create_directory(tmp / "quenav1_group");
  chmod((tmp / "quenav1_group").c_str(), 0775);
  EXPECT_EQ(refusal(tmp / "quenav1_group"), "work directory " + (tmp / "quenav1_group").string() +
                                                " is writable by group or others (mode 0775)");
  fs::create_directory(tmp / "quenav1_other");
  chmod((tmp / "quenav1_other").c_str(), 01757);
  EXPECT_EQ(refusal(tmp / "quenav1_other"), "work directory " + (tmp / "quenav1_other").string() +
                                                " is writable by group or others (mode 1757)");
}

TEST(WorkDir, RefusesADirectoryOfAnotherUser) {
  TempDir tmp("workdir");
  const auto path = tmp / "quenav1_theirs";
  fs::create_directory(path);
  const uid_t other = geteuid() == 65534 ? 65533 : 65534;
  if (chown(path.c_str(), other, static_cast<gid_t>(-1)) != 0)
    GTEST_SKIP() << "cannot give a directory away here";
  EXPECT_EQ(refusal(path),
            fmt::format("work directory {} belongs to another user (uid {})", path.string(), other));
}

TEST(WorkDir, RefusesANameThatIsNotUtf8) {
  TempDir tmp("workdir");
  const auto path = tmp / "quenav1_\xff";
  EXPECT_EQ(refusal(path),
            "work directory " + (tmp / "quenav1_\xEF\xBF\xBD").string() + " is not valid UTF-8");
  EXPECT_FALSE(fs::exists(path));
}

TEST(WorkDir, SecondHolderIsRefusedUntilTheFirstLetsGo) {
  TempDir tmp("workdir");
  const auto path = tmp / "quenav1_x";
  {
    auto first = WorkDir::acquire(path);
    EXPECT_EQ(refusal(path), "work directory " + path.string() + " is in use by another encpipe run");
  }
  // A run that failed keeps its directory but not its lock.
  EXPECT_EQ(refusal(path), "accepted");
}

}  // namespace
}  // namespace encpipe
