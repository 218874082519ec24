#pragma once
// The file the mux writes, so that its result appears at the output path
// whole or not at all.
//
// ffmpeg creates or truncates its output the moment it starts, and a mux
// stopped by a signal still finishes a playable part of the video. Written
// at the output path, either would pass for a finished run with a batch loop
// that skips the inputs whose output exists, and a failing mux would already
// have destroyed the output of an earlier run. So the mux writes a hidden
// file of ours beside the output, ".<name>.encpipe-XXXXXX<extension>" (the
// extension kept: ffmpeg picks the format by it), and only a mux that
// succeeded has it renamed onto the output. The output's symbolic links are
// followed, as ffmpeg follows them: the result replaces the file they lead
// to, and a dangling link gets the file it points to.
//
// What cannot be replaced is written in place, as ffmpeg alone would write
// it: a device or a FIFO named as the output, and an existing file that we
// may write but not replace (its directory is closed to us, or it is another
// user's file in a sticky directory such as /tmp).

#include <filesystem>
#include <string>

namespace encpipe {

class OutputFile {
 public:
  // Makes the temporary file, with the mode the output would have had: an
  // existing output's, else 0666 as the umask leaves it. Throws quen::Error
  // "create output PATH" with the system's reason when the output cannot be
  // made: its directory is missing or closed to us, it names a directory, or
  // it exists and may not be written.
  static OutputFile create(const std::string& output_path);

  // Removes the temporary file unless it was put in place.
  ~OutputFile();
  OutputFile(OutputFile&& other) noexcept;
  OutputFile& operator=(OutputFile&&) = delete;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // What the mux writes: the temporary file, or the output itself.
  const std::string& written_path() const noexcept { return written_; }

  // Renames the temporary file onto the output. Throws quen::Error as create
  // does; the temporary file then goes with its owner.
  void put_in_place();

 private:
  // Takes over the temporary file `written` when `target` is not empty.
  OutputFile(std::string output, std::string written, std::filesystem::path target) noexcept;

  std::string output_;  // as given, for the messages
  std::string written_;
  std::filesystem::path target_;  // where the temporary file goes; empty when there is none
};

// Fails as OutputFile::create fails, and leaves nothing behind: an output
// that cannot be made fails the run before its work.
void check_output_place(const std::string& output_path);

}  // namespace encpipe
