#include "work_dir.hpp"

#include "common/error.hpp"
#include "common/utf8.hpp"

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <system_error>

namespace encpipe {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void throw_system_error(int code) {
  throw std::system_error(code, std::generic_category());
}

// The paths in the work directory go to the encoder as UTF-8 text; a
// temporary directory whose name is not UTF-8 could not be named to it.
void refuse_non_utf8(const fs::path& path) {
  if (quen::is_valid_utf8(path.native())) return;
  throw quen::Error(fmt::format("work directory {} is not valid UTF-8", quen::to_valid_utf8(path.native())));
}

// A symbolic link or another kind of file where the directory belongs is
// refused before anything is created, so that the error names the reason.
void refuse_other_kinds(const fs::path& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return;  // missing: created next
  if (S_ISLNK(st.st_mode))
    throw quen::Error(fmt::format("work directory {} is a symbolic link", path.string()));
  if (!S_ISDIR(st.st_mode))
    throw quen::Error(fmt::format("work directory {} is not a directory", path.string()));
}

// Missing parents get 0777 as the umask leaves it. The work directory itself
// never gets write permission for group or others, whatever the umask: a
// directory that others may write to is refused below, and one made by this
// very run must not be refused for the umask of the person running it.
void create_with_parents(const fs::path& path) {
  std::error_code error;
  if (path.has_parent_path()) fs::create_directories(path.parent_path(), error);
  if (error) throw_system_error(error.value());
  if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) throw_system_error(errno);
}

// O_NOFOLLOW: whatever was checked before, a link swapped in since then is
// not followed, and every later check is made on what was really opened.
quen::Fd open_directory(const fs::path& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd >= 0) return quen::Fd(fd);
  if (errno == ELOOP) throw quen::Error(fmt::format("work directory {} is a symbolic link", path.string()));
  if (errno == ENOTDIR) throw quen::Error(fmt::format("work directory {} is not a directory", path.string()));
  throw_system_error(errno);
}

// Gives the identity of the directory that passed.
quen::FileIdentity check_ownership(const quen::Fd& dir, const fs::path& path) {
  struct stat st {};
  if (fstat(dir.get(), &st) != 0) throw_system_error(errno);
  if (st.st_uid != geteuid()) {
    throw quen::Error(
        fmt::format("work directory {} belongs to another user (uid {})", path.string(), st.st_uid));
  }
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    throw quen::Error(fmt::format("work directory {} is writable by group or others (mode {:04o})",
                                  path.string(), st.st_mode & 07777));
  }
  return quen::FileIdentity::of(st);
}

// The lock lies on the directory itself, so that no extra file appears in
// it; the kernel drops it when we exit, however we exit.
void lock(const quen::Fd& dir, const fs::path& path) {
  if (flock(dir.get(), LOCK_EX | LOCK_NB) == 0) return;
  if (errno == EWOULDBLOCK) {
    throw quen::Error(fmt::format("work directory {} is in use by another encpipe run", path.string()));
  }
  throw_system_error(errno);
}

}  // namespace

fs::path temporary_directory(const char* tmpdir) {
  return tmpdir != nullptr ? fs::path(tmpdir) : fs::path("/tmp");
}

// fs::path's "/" adds a separator only after a path that ends in a file
// name, which is exactly the join rule: none after "" or "/var/tmp/".
fs::path work_dir_path(const fs::path& temporary, std::string_view stem) {
  return temporary / fmt::format("quenav1_{}", stem);
}

WorkDir WorkDir::acquire(const fs::path& path) {
  refuse_non_utf8(path);
  refuse_other_kinds(path);
  create_with_parents(path);
  quen::Fd dir = open_directory(path);
  const quen::FileIdentity identity = check_ownership(dir, path);
  lock(dir, path);
  return WorkDir(path, std::move(dir), identity);
}

void WorkDir::remove() noexcept {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
  lock_.close();
}

}  // namespace encpipe
