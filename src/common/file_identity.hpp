#pragma once
// Which file a path names, whatever its spelling: "./v.mp4", an absolute
// path, "sub/../v.mp4", a hard link and a symbolic link to the same file all
// give the same identity. Both programs use it to refuse an output path that
// would overwrite their input video.

#include <sys/stat.h>
#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string_view>

namespace quen {

struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;

  // The file that `st` describes, as stat or fstat filled it.
  static FileIdentity of(const struct stat& st) { return {st.st_dev, st.st_ino}; }

  bool operator==(const FileIdentity&) const = default;
};

// The file at `path`, symbolic links followed; nothing when there is none.
std::optional<FileIdentity> file_identity(const std::filesystem::path& path);

// Throws quen::Error naming `output_text` when `output` is the file at
// `input`; an output that does not exist yet is never the input.
void refuse_output_that_is_input(const std::optional<FileIdentity>& output, std::string_view output_text,
                                 const std::filesystem::path& input);

}  // namespace quen
