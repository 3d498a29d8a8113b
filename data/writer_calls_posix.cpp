// The real system calls behind WriterCalls, and the folder sync: POSIX.
#include "data/writer_calls.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "data/system_calls.h"

namespace karnwick {

WriterCalls& writerCalls() {
    static WriterCalls calls{
        ::write,
        ::fsync,
        ::close,
        ::rename,
        ::link,
        ::mkdir,
        ::pwrite,
        ::copy_file_range,
        [](const char* from, const char* to) { return sys::renameNoReplace(from, to); },
        [](const char* a, const char* b) {
            return ::renameat2(AT_FDCWD, a, AT_FDCWD, b, RENAME_EXCHANGE);
        },
    };
    return calls;
}

int syncFolder(int fd) {
    if (writerCalls().fsync(fd) == 0 || errno == EINVAL || errno == ENOTSUP) return 0;
    return errno;
}

int syncFolder(const std::filesystem::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    const int error = syncFolder(fd);
    ::close(fd);
    return error;
}

}  // namespace karnwick
