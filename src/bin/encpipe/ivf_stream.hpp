#pragma once
// The AV1 stream as SvtAv1EncApp leaves it: an IVF file, a 32-byte header
// beginning "DKIF", then one record per frame, a 12-byte header (the frame's
// size as a little-endian 32-bit number, then a 64-bit timestamp) followed by
// the frame's bytes.
//
// The encoder exits 0 even when writing the stream failed, as on a full disk,
// so its status alone cannot tell a whole stream from one cut short.

#include <cstdint>
#include <filesystem>

namespace encpipe {

struct IvfStream {
  std::uint64_t size;    // bytes in the file
  std::uint64_t frames;  // frame records, all whole
  // The frame size the header states: the size the encoder encoded.
  std::uint32_t width;
  std::uint32_t height;
};

// Walks the records of the IVF file at `path`, reading their headers only
// (streams may be gigabytes). Throws quen::Error "AV1 stream <path> breaks
// off at byte <n>: <reason>" unless the file can be read, begins with a whole
// header, holds at least one frame and its last record ends exactly at its
// end; <n> is the offset up to which the stream is whole. A file that cannot
// be read carries the system's reason as the cause.
IvfStream check_ivf_stream(const std::filesystem::path& path);

}  // namespace encpipe
