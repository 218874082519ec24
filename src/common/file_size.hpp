#pragma once
// Size of a file for the reports, where a file that cannot be examined
// should show as empty rather than end the run.

#include <cstdint>
#include <filesystem>

namespace quen {

// The size in bytes of the file that `path` names, symbolic links followed;
// 0 when it cannot be read (missing, not a regular file, no permission).
std::uint64_t file_size_or_zero(const std::filesystem::path& path);

}  // namespace quen
