// The Windows calls behind WriterCalls, and the folder sync. Descriptors are
// the C runtime's; names come as UTF-8 (platform::pathText) and go to the
// system as wide strings, so a folder named in any script works.
#include "data/writer_calls.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <string>

#include "data/platform.h"
#include "data/system_calls.h"

namespace karnwick {

namespace fs = std::filesystem;

namespace {

fs::path widePath(const char* utf8) {
    return platform::pathFromText(utf8);
}

HANDLE handleOf(int fd) {
    return reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

ssize_t writeAll(int fd, const void* bytes, std::size_t count) {
    return ::_write(fd, bytes, static_cast<unsigned>(std::min<std::size_t>(count, 1u << 30)));
}

int flush(int fd) {
    return ::FlushFileBuffers(handleOf(fd)) ? 0 : sys::failWithLastError();
}

int replace(const char* from, const char* to) {
    return sys::rename(widePath(from), widePath(to));
}
int moveNoReplace(const char* from, const char* to) {
    return sys::renameNoReplace(widePath(from), widePath(to));
}

int hardLink(const char* from, const char* to) {
    return ::CreateHardLinkW(widePath(to).c_str(), widePath(from).c_str(), nullptr)
               ? 0
               : sys::failWithLastError();
}

int makeFolder(const char* path, mode_t) {
    return ::CreateDirectoryW(widePath(path).c_str(), nullptr) ? 0 : sys::failWithLastError();
}

// At an offset without moving the position write() appends at.
ssize_t writeAt(int fd, const void* bytes, std::size_t count, off_t offset) {
    const __int64 position = ::_lseeki64(fd, 0, SEEK_CUR);
    if (position < 0 || ::_lseeki64(fd, offset, SEEK_SET) < 0) return -1;
    const ssize_t written = writeAll(fd, bytes, count);
    const int error = errno;
    ::_lseeki64(fd, position, SEEK_SET);
    errno = error;
    return written;
}

// No copy in the kernel: the writer copies through its buffer.
ssize_t noCopyRange(int, off_t*, int, off_t*, std::size_t, unsigned) {
    errno = ENOSYS;
    return -1;
}

// Windows cannot swap two folders in one step: the set is taken in place.
int noExchange(const char*, const char*) {
    errno = ENOTSUP;
    return -1;
}

}  // namespace

WriterCalls& writerCalls() {
    static WriterCalls calls{writeAll,   flush,   ::_close,    replace,       hardLink,
                             makeFolder, writeAt, noCopyRange, moveNoReplace, noExchange};
    return calls;
}

// The writer's renames are written through (sys::rename): there is nothing
// left to flush.
int syncFolder(int) {
    return 0;
}

int syncFolder(const fs::path& folder) {
    // Where the file system allows it, the folder's own flush as well.
    const HANDLE handle = ::CreateFileW(
        folder.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return 0;
    ::FlushFileBuffers(handle);
    ::CloseHandle(handle);
    return 0;
}

}  // namespace karnwick
