#include "output_file.hpp"

#include "common/error.hpp"
#include "common/fd.hpp"
#include "link_target.hpp"
#include "stop_signals.hpp"

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <random>
#include <string_view>
#include <system_error>
#include <utility>

namespace encpipe {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void throw_system_error(int code) {
  throw std::system_error(code, std::generic_category());
}

std::string context(const std::string& output_path) {
  return fmt::format("create output {}", output_path);
}

// Names that only a directory can have fail as the system fails them, which
// ffmpeg would do only after the whole encode.
void refuse_directory_names(const std::string& output_path) {
  if (output_path.empty()) throw_system_error(ENOENT);
  if (output_path.ends_with('/')) throw_system_error(EISDIR);
}

// What stands where the output goes; nothing when nothing does yet.
std::optional<struct stat> existing(const fs::path& target) {
  struct stat st {};
  if (stat(target.c_str(), &st) == 0) return st;
  if (errno != ENOENT) throw_system_error(errno);
  return std::nullopt;
}

void refuse_unwritable(const fs::path& target, const struct stat& st) {
  if (S_ISDIR(st.st_mode)) throw_system_error(EISDIR);
  if (S_ISREG(st.st_mode) && faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
    throw_system_error(errno);
  }
}

fs::path directory_of(const fs::path& target) {
  return target.has_parent_path() ? target.parent_path() : fs::path(".");
}

bool written_in_place(const fs::path& target, const struct stat& st) {
  if (!S_ISREG(st.st_mode)) return true;
  const fs::path dir = directory_of(target);
  struct stat dir_st {};
  if (faccessat(AT_FDCWD, dir.c_str(), W_OK | X_OK, AT_EACCESS) != 0 || stat(dir.c_str(), &dir_st) != 0) {
    return true;
  }
  const uid_t me = geteuid();
  return (dir_st.st_mode & S_ISVTX) != 0 && st.st_uid != me && dir_st.st_uid != me;
}

std::string random_letters() {
  constexpr std::string_view letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device random;
  std::string text(6, ' ');
  for (char& c : text) c = letters[random() % letters.size()];
  return text;
}

// ".<name>.encpipe-XXXXXX<extension>", the extension being what follows the
// name's last ".", as ffmpeg reads it. The name is cut short where the whole
// would pass the system's limit on a file name, which the output itself may
// come close to.
std::string temporary_name(std::string_view name, std::string_view letters) {
  constexpr std::size_t name_max = 255;
  constexpr std::string_view marker = ".encpipe-";
  const auto dot = name.rfind('.');
  const auto extension = dot == std::string_view::npos ? std::string_view{} : name.substr(dot);
  const std::size_t fixed = 1 + marker.size() + letters.size() + extension.size();
  const auto kept = fixed < name_max ? name.substr(0, name_max - fixed) : name;
  return fmt::format(".{}{}{}{}", kept, marker, letters, extension);
}

struct MadeFile {
  quen::Fd fd;
  fs::path path;
};

// O_EXCL: a file of that name made meanwhile, or a link planted there, fails
// the attempt instead of being written through. 0666 as the umask leaves it,
// as ffmpeg creates a new output.
MadeFile create_beside(const fs::path& target) {
  const std::string name = target.filename().string();
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path path = target.parent_path() / temporary_name(name, random_letters());
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return {quen::Fd(fd), std::move(path)};
    if (errno != EEXIST) throw_system_error(errno);
  }
  throw_system_error(EEXIST);
}

}  // namespace

OutputFile::OutputFile(std::string output, std::string written, fs::path target) noexcept
    : output_(std::move(output)), written_(std::move(written)), target_(std::move(target)) {
  if (!target_.empty()) stop_signals::track_temporary_file(written_);
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : output_(std::move(other.output_)),
      written_(std::move(other.written_)),
      target_(std::exchange(other.target_, {})) {}

OutputFile::~OutputFile() {
  if (target_.empty()) return;
  const stop_signals::Blocked blocked;
  unlink(written_.c_str());
  stop_signals::untrack_temporary_file();
}

OutputFile OutputFile::create(const std::string& output_path) {
  return quen::with_context(context(output_path), [&] {
    refuse_directory_names(output_path);
    const fs::path target = link_target(output_path);
    const auto st = existing(target);
    if (st) refuse_unwritable(target, *st);
    if (st && written_in_place(target, *st)) return OutputFile(output_path, output_path, {});
    // Made and known to the stop signals in one step.
    const stop_signals::Blocked blocked;
    MadeFile made = create_beside(target);
    OutputFile file(output_path, made.path.string(), target);
    if (st && fchmod(made.fd.get(), st->st_mode & 0777) != 0) throw_system_error(errno);
    return file;
  });
}

void OutputFile::put_in_place() {
  if (target_.empty()) return;
  const stop_signals::Blocked blocked;
  if (rename(written_.c_str(), target_.c_str()) != 0) {
    const int error = errno;
    quen::throw_with_context(context(output_), std::system_error(error, std::generic_category()));
  }
  stop_signals::untrack_temporary_file();
  target_.clear();
}

void check_output_place(const std::string& output_path) {
  const OutputFile probe = OutputFile::create(output_path);
}

}  // namespace encpipe
