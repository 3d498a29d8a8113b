// The console and standard streams on POSIX systems.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "data/console.h"

namespace karnwick::platform {

std::vector<std::string> commandArguments(int argc, const char* const argv[]) {
    return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>{};
}

bool isConsole(int fd) {
    return ::isatty(fd) == 1;
}

bool isClosedStream(int fd) {
    return ::fcntl(fd, F_GETFD) == -1 && errno == EBADF;
}

int openNullDevice() {
    return ::open("/dev/null", O_RDWR);
}

void useBinaryStandardStreams() {}

void useParentConsole() {}

std::filesystem::path programFile() {
    std::error_code error;
    return std::filesystem::read_symlink("/proc/self/exe", error);
}

std::uint64_t physicalMemory() {
    const long pages = ::sysconf(_SC_PHYS_PAGES), size = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || size <= 0) return 0;
    return std::uint64_t(pages) * std::uint64_t(size);
}

}  // namespace karnwick::platform
