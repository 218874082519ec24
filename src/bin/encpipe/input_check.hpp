#pragma once
// encpipe reads its input three times: the analysis, the decoding ffmpeg and
// the mux each open it anew. A pipe, a socket or a character device (a FIFO,
// a shell's "<(...)", /dev/stdin, FFmpeg's "pipe:" protocol) gives its data
// to the first reader only, and the second would wait for ever or get
// nothing, so such an input is refused before the analysis starts.

#include <string_view>

namespace encpipe {

// Throws quen::Error naming the input and what it is when it cannot be read
// three times. An input that does not exist, or that FFmpeg opens by another
// protocol, passes: opening it reports what is wrong.
void refuse_input_read_only_once(std::string_view input);

}  // namespace encpipe
