#pragma once
// Standard output as every command writes it: a stream the program was
// started without is held on /dev/null and remembered, a picture is never
// sent to a terminal, and a failed write is never silent.

#include <filesystem>
#include <streambuf>
#include <string>
#include <vector>

namespace karnwick::cli {

// Run first in main, before anything opens a file: each standard stream the
// program was started without (`<&-`, `>&-`) is held open on /dev/null, so no
// file the command opens takes its number (a summary meant for standard
// output would land in it), and is remembered as closed.
// Standard streams also carry bytes as they are (see useBinaryStandardStreams).
void holdClosedStandardStreams();

// Whether stream `fd` (0, 1 or 2) was closed when the program started.
bool standardStreamWasClosed(int fd);

// For a command that changes game files: throws "cannot write to standard
// output (it is closed)" before any work, so the command never changes a file
// it could not report.
void requireStandardOutput();

// "-" as a file to write (-o -, --png -): standard output, which takes the
// bytes through the command's checked stream, never through the file writer.
bool isStandardOutputName(const std::filesystem::path& file);

// For a picture bound for standard output, before any work: a terminal is
// refused (the bytes of a PNG are no text to show), as is a closed output.
void requirePictureOutput();

// Standard output for a command, written straight to file descriptor 1. A
// failed write while the command runs is thrown through the stream (which must
// have badbit among its exceptions) as a CommandError and stops the command:
// CommandError::readerGone() for a reader that went away (`| head`), else
// "cannot write to standard output: ..." with status 2, so no command can
// report success for output that was lost. The last write happens in
// finish(), which reports its own failure. The program must ignore SIGPIPE
// for a closed pipe to be seen.
class StandardOutput : public std::streambuf {
  public:
    // `program` starts the message of a failed last write: "karnwick duel".
    explicit StandardOutput(std::string program);
    // Writes what is left and returns `status`, or the status of a failed
    // write (0 for a reader that went away, 2 with a message on stderr).
    int finish(int status);

  protected:
    int_type overflow(int_type c) override;
    int sync() override;

  private:
    void writeBuffered();
    std::string m_program;
    std::vector<char> m_buffer;
    bool m_failed = false;
};

}  // namespace karnwick::cli
