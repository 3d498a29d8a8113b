// Standard output as every command writes it, failures never silent.

#include "cli/standard_output.h"

#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <iostream>

#include "data/console.h"
#include "data/errors.h"

namespace karnwick::cli {

namespace {

std::array<bool, 3> closedAtStart{};

constexpr const char* kClosedOutput = "cannot write to standard output (it is closed)";

}  // namespace

void holdClosedStandardStreams() {
    platform::useBinaryStandardStreams();
    for (int fd = 0; fd < 3; ++fd) {
        if (!platform::isClosedStream(fd)) continue;
        closedAtStart[std::size_t(fd)] = true;
        // The lowest free number is `fd` itself, the ones before it being open.
        const int held = platform::openNullDevice();
        if (held >= 0 && held != fd) ::close(held);
    }
}

bool standardStreamWasClosed(int fd) {
    return fd >= 0 && fd < 3 && closedAtStart[std::size_t(fd)];
}

void requireStandardOutput() {
    if (standardStreamWasClosed(STDOUT_FILENO)) throw CommandError(kClosedOutput);
}

bool isStandardOutputName(const std::filesystem::path& file) {
    return file == "-";
}

void requirePictureOutput() {
    requireStandardOutput();
    if (platform::isConsole(STDOUT_FILENO)) {
        throw CommandError(
            "standard output is a terminal: a PNG image is not written there (redirect it to a "
            "file or a pipe, or name a file instead of -)");
    }
}

StandardOutput::StandardOutput(std::string program)
    : m_program(std::move(program)), m_buffer(1 << 16) {
    setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
}

int StandardOutput::finish(int status) {
    try {
        writeBuffered();
    } catch (const CommandError& e) {
        if (e.isReaderGone()) return e.status();
        std::cerr << m_program << ": " << e.what() << "\n";
        return e.status();
    }
    return status;
}

StandardOutput::int_type StandardOutput::overflow(int_type c) {
    writeBuffered();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
    }
    return traits_type::not_eof(c);
}

int StandardOutput::sync() {
    writeBuffered();
    return 0;
}

void StandardOutput::writeBuffered() {
    const char* at = pbase();
    const char* end = pptr();
    setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
    // After one failure the rest is dropped: the failure has been reported.
    if (m_failed) return;
    if (at < end && standardStreamWasClosed(STDOUT_FILENO)) {
        m_failed = true;
        throw CommandError(kClosedOutput);
    }
    while (at < end) {
        // Windows writes at most 2^31 bytes at a time; the buffer is far smaller.
        const auto n = ::write(STDOUT_FILENO, at, static_cast<unsigned>(end - at));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            m_failed = true;
            if (errno == EPIPE) throw CommandError::readerGone();
            throw CommandError(std::string("cannot write to standard output: ") +
                               std::strerror(errno));
        }
        at += n;
    }
}

}  // namespace karnwick::cli
