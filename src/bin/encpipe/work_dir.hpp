#pragma once
// encpipe's work directory, "quenav1_<input stem>" in the temporary directory.
//
// The name is predictable and usually lies in a world-writable directory, so
// the directory is used only when it is a real directory of the user running
// encpipe that nobody else may write into: otherwise another local user could
// plant a symbolic link among our files and have us or the encoder overwrite
// a file of theirs choosing. A directory left by an earlier run of ours is
// used again. For the whole run the directory is locked, so that a second run
// on an input with the same stem fails at once instead of destroying our
// files.

#include "common/fd.hpp"
#include "common/file_identity.hpp"

#include <filesystem>
#include <string_view>

namespace encpipe {

// TMPDIR when it is set, used unchanged even when empty (the current
// directory then); "/tmp" when it is not set (`tmpdir` null).
std::filesystem::path temporary_directory(const char* tmpdir);

// `temporary` joined with "quenav1_<stem>": one "/" between them unless
// `temporary` is empty or already ends with "/".
std::filesystem::path work_dir_path(const std::filesystem::path& temporary, std::string_view stem);

class WorkDir {
 public:
  // Creates `path` with every missing parent (0777 as modified by the umask),
  // checks that it is safe to use and locks it. Throws quen::Error naming the
  // reason for refusing, or std::system_error.
  static WorkDir acquire(const std::filesystem::path& path);

  const std::filesystem::path& path() const noexcept { return path_; }
  // The directory that was checked and locked, whatever its path leads to.
  const quen::FileIdentity& identity() const noexcept { return identity_; }

  // Removes the directory with everything in it; a failure is ignored. The
  // lock is held until the directory is gone.
  void remove() noexcept;

 private:
  WorkDir(std::filesystem::path path, quen::Fd lock, quen::FileIdentity identity) noexcept
      : path_(std::move(path)), lock_(std::move(lock)), identity_(identity) {}

  std::filesystem::path path_;
  quen::Fd lock_;  // the directory itself, opened and flock'ed
  quen::FileIdentity identity_;
};

}  // namespace encpipe
