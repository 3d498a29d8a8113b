#include "cli/command_input.h"

#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/shown_text.h"
#include "cli/standard_output.h"
#include "data/system_calls.h"

namespace karnwick::cli {

std::string inputName(const QString& argument) {
    return argument == "-" ? "standard input" : shownPath(pathFromArgument(argument));
}

namespace {

[[noreturn]] void cannotRead(const std::string& name, const std::string& why) {
    throw CommandError("cannot read " + name + " " + why);
}

std::string readAll(int fd, const std::string& name) {
    sys::Status status;
    if (sys::statusOf(fd, status) != 0) {
        if (errno == EBADF) cannotRead(name, "(it is closed)");
        cannotRead(name, std::string("(") + std::strerror(errno) + ")");
    }
    if (status.kind == sys::Kind::Folder) cannotRead(name, "(it is a folder)");
    // Far more than the CSV of 32767 records or any sprite's image; a device
    // that never ends (/dev/zero) stops here instead of filling the memory.
    constexpr std::size_t kMostBytes = std::size_t{64} << 20;
    std::string text;
    std::array<char, 1 << 16> chunk;
    for (;;) {
        const std::int64_t n = sys::readSome(fd, chunk.data(), chunk.size());
        if (n == 0) return text;
        if (n < 0) {
            if (errno == EINTR) continue;
            cannotRead(name, std::string("(") + std::strerror(errno) + ")");
        }
        text.append(chunk.data(), static_cast<std::size_t>(n));
        if (text.size() > kMostBytes)
            throw CommandError(name + " holds more than 64 MiB: not a file of records or a sprite");
    }
}

}  // namespace

std::string readWholeInput(const QString& argument) {
    const std::string name = inputName(argument);
    if (argument == "-") {
        if (standardStreamWasClosed(STDIN_FILENO)) cannotRead(name, "(it is closed)");
        return readAll(STDIN_FILENO, name);
    }
    const int fd = sys::openAt(pathFromArgument(argument), sys::Open::ReadInput);
    if (fd < 0) cannotRead(name, std::string("(") + std::strerror(errno) + ")");
    struct Closer {
        int fd;
        ~Closer() { sys::closeFile(fd); }
    } closer{fd};
    return readAll(fd, name);
}

}  // namespace karnwick::cli
