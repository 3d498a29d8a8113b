// The writer's file system calls on Windows (system_calls.h): wide paths from
// UTF-8, handles behind C runtime descriptors, errors as errno values.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <mutex>
#include <vector>

#include "data/platform.h"
#include "data/system_calls.h"

namespace karnwick::sys {

namespace {

// The system's error as the writer's messages know them (errno values).
int errnoOf(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return EACCES;
        case ERROR_ALREADY_EXISTS:
        case ERROR_FILE_EXISTS:
            return EEXIST;
        case ERROR_DIR_NOT_EMPTY:
            return ENOTEMPTY;
        case ERROR_DIRECTORY:
            return ENOTDIR;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_NOT_SAME_DEVICE:
            return EXDEV;
        case ERROR_TOO_MANY_LINKS:
            return EMLINK;
        case ERROR_INVALID_PARAMETER:
            return EINVAL;
        case ERROR_INVALID_FUNCTION:
        case ERROR_NOT_SUPPORTED:
            return ENOTSUP;
        case ERROR_WRITE_PROTECT:
            return EROFS;
        case ERROR_INVALID_HANDLE:
            return EBADF;
        default:
            return EIO;
    }
}

int fail(int error) {
    errno = error;
    return -1;
}

HANDLE handleOf(int fd) {
    return reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// A folder held this way can be neither renamed nor removed by anyone.
constexpr DWORD kShareButDelete = FILE_SHARE_READ | FILE_SHARE_WRITE;
// Folders open only with backup semantics; links and junctions are opened
// themselves, never followed.
constexpr DWORD kNoFollow = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;

// FILETIME counts 100 ns from 1601; POSIX's clock counts from 1970.
void setModified(FILETIME time, Status& status) {
    constexpr std::int64_t k1970 = 116'444'736'000'000'000;
    const std::int64_t ticks =
        static_cast<std::int64_t>((std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime) -
        k1970;
    const std::int64_t seconds = ticks / 10'000'000 - (ticks % 10'000'000 < 0 ? 1 : 0);
    status.modifiedSeconds = seconds;
    status.modifiedNanoseconds = (ticks - seconds * 10'000'000) * 100;
}

int fill(HANDLE handle, Status& status) {
    status = {};
    const DWORD type = ::GetFileType(handle);
    if (type == FILE_TYPE_CHAR) return status.kind = Kind::Device, 0;
    if (type == FILE_TYPE_PIPE) return status.kind = Kind::Fifo, 0;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle, &info)) return failWithLastError();
    const DWORD attributes = info.dwFileAttributes;
    status.kind = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? Kind::Link
                  : (attributes & FILE_ATTRIBUTE_DIRECTORY)   ? Kind::Folder
                                                              : Kind::Regular;
    status.size =
        static_cast<std::int64_t>((std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow);
    status.links = info.nNumberOfLinks;
    status.volume = info.dwVolumeSerialNumber;
    status.index = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    status.mode = (attributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
    if (status.kind == Kind::Folder) status.mode |= 0111;
    setModified(info.ftLastWriteTime, status);
    return 0;
}

// A C runtime descriptor for `handle`, binary: the writer's bytes go out as
// they are.
int descriptorOf(HANDLE handle, int flags) {
    if (handle == INVALID_HANDLE_VALUE) return failWithLastError();
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), flags | _O_BINARY);
    if (fd < 0) {
        ::CloseHandle(handle);
        return fail(EMFILE);
    }
    return fd;
}

int openFolder(const fs::path& path, DWORD access, DWORD flags = kNoFollow) {
    const HANDLE handle = ::CreateFileW(path.c_str(), access, kShareButDelete, nullptr,
                                        OPEN_EXISTING, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return failWithLastError();
    BY_HANDLE_FILE_INFORMATION info{};
    int error = 0;
    if (!::GetFileInformationByHandle(handle, &info))
        error = errnoOf(::GetLastError());
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        error = ELOOP;
    else if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        error = ENOTDIR;
    if (error) {
        ::CloseHandle(handle);
        return fail(error);
    }
    return descriptorOf(handle, _O_RDONLY);
}

// The path of the entry `name` of the open folder `dirFd`.
fs::path pathIn(int dirFd, const std::string& name) {
    std::wstring folder(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetFinalPathNameByHandleW(handleOf(dirFd), folder.data(),
                                        static_cast<DWORD>(folder.size()), FILE_NAME_NORMALIZED);
        if (length == 0) return {};
        if (length < folder.size()) {
            folder.resize(length);
            break;
        }
        folder.resize(length + 1);
    }
    return fs::path(folder) / platform::pathFromText(name);
}

// From UTF-8 into `wide` without the heap, for the clean-up at the end.
bool widen(const char* text, wchar_t* wide, int room) noexcept {
    return ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, wide, room) > 0;
}

// The folders this program holds (Open::HeldFolder), by the path they were
// opened at: only their own handle may move them.
struct HeldFolderHandle {
    HANDLE handle;
    fs::path path;
};
std::mutex g_heldMutex;
std::vector<HeldFolderHandle> g_held;

void holdFolder(HANDLE handle, const fs::path& path) {
    const std::lock_guard lock(g_heldMutex);
    g_held.push_back({handle, path});
}

void releaseFolder(HANDLE handle) {
    const std::lock_guard lock(g_heldMutex);
    std::erase_if(g_held, [&](const HeldFolderHandle& held) { return held.handle == handle; });
}

HANDLE heldAt(const fs::path& path) {
    const std::lock_guard lock(g_heldMutex);
    for (const HeldFolderHandle& held : g_held)
        if (held.path == path) return held.handle;
    return INVALID_HANDLE_VALUE;
}

// Moves what `handle` holds to `to`, never over anything there.
int moveThrough(HANDLE handle, const fs::path& to) {
    // The system's own full name: fs::absolute takes a name pathIn gave
    // (\\?\C:\...) for one relative to the current drive.
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetFullPathNameW(to.c_str(), static_cast<DWORD>(name.size()), name.data(), nullptr);
        if (length == 0) return failWithLastError();
        const bool fits = length < name.size();
        name.resize(fits ? length : length + 1);
        if (fits) break;
    }
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + name.size() * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = FALSE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    std::copy(name.begin(), name.end(), rename->FileName);
    if (!::SetFileInformationByHandle(handle, FileRenameInfo, rename,
                                      static_cast<DWORD>(buffer.size())))
        return failWithLastError();
    const std::lock_guard lock(g_heldMutex);
    for (HeldFolderHandle& held : g_held)
        if (held.handle == handle) held.path = to;
    return 0;
}

// Through the handle, which is the only one allowed to: it shares no removal.
int removeThrough(HANDLE handle) {
    FILE_DISPOSITION_INFO remove{TRUE};
    return ::SetFileInformationByHandle(handle, FileDispositionInfo, &remove, sizeof remove)
               ? 0
               : failWithLastError();
}

std::atomic<void (*)(int)> g_endingHandler{nullptr};

BOOL WINAPI onConsoleEvent(DWORD event) {
    const auto handler = g_endingHandler.load();
    if (!handler) return FALSE;
    handler(static_cast<int>(event));
    // Held back for a commit going on, whose thread ends the program once
    // the set is whole; a closed console waits for it too, a few seconds.
    waitForever();
}

}  // namespace

int failWithLastError() {
    return fail(errnoOf(::GetLastError()));
}

int statusOf(int fd, Status& status) {
    return fill(handleOf(fd), status);
}

int statusAt(const fs::path& path, Status& status, bool followLinks) {
    const HANDLE handle =
        ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                      followLinks ? FILE_FLAG_BACKUP_SEMANTICS : kNoFollow, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return failWithLastError();
    const int result = fill(handle, status);
    const int error = errno;
    ::CloseHandle(handle);
    errno = error;
    return result;
}

int statusIn(int dirFd, const std::string& name, Status& status, bool followLinks) {
    return statusAt(pathIn(dirFd, name), status, followLinks);
}

int openAt(const fs::path& path, Open how) {
    switch (how) {
        case Open::Read: {
            const int fd = descriptorOf(::CreateFileW(path.c_str(), GENERIC_READ, kShareAll,
                                                      nullptr, OPEN_EXISTING, kNoFollow, nullptr),
                                        _O_RDONLY);
            Status status;
            if (fd >= 0 && statusOf(fd, status) == 0 && status.kind == Kind::Link) {
                ::_close(fd);
                return fail(ELOOP);
            }
            return fd;
        }
        case Open::ReadThrough:
        case Open::ReadInput:
            // Backup semantics open a folder too, which the caller then refuses
            // by its status.
            return descriptorOf(::CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr,
                                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr),
                                _O_RDONLY);
        case Open::Write:
            return descriptorOf(::CreateFileW(path.c_str(), GENERIC_WRITE, kShareAll, nullptr,
                                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr),
                                _O_WRONLY);
        case Open::CreateNew:
            // Shared for removal and renaming, which the writer does while
            // it holds the file, as POSIX allows.
            return descriptorOf(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll,
                                              nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr),
                                _O_RDWR);
        case Open::Folder:
            return openFolder(path, GENERIC_READ);
        case Open::FolderThrough:
            return openFolder(path, GENERIC_READ, FILE_FLAG_BACKUP_SEMANTICS);
        case Open::HeldFolder: {
            // Asking for removal while sharing no removal: refused while
            // anyone holds the folder so, and refuses them after.
            const int fd = openFolder(path, GENERIC_READ | DELETE);
            if (fd >= 0) holdFolder(handleOf(fd), path);
            return fd;
        }
    }
    return fail(EINVAL);
}

int openIn(int dirFd, const std::string& name, Open how) {
    return openAt(pathIn(dirFd, name), how);
}

int closeFile(int fd) {
    releaseFolder(handleOf(fd));
    return ::_close(fd);
}

int duplicate(int fd) {
    return ::_dup(fd);
}

// Through a fresh handle of the folder `dirFd` holds, which sharing all
// passes where a folder held without sharing removal refuses an open by
// name; fresh, because Wine keeps a handle's first listing, which would miss
// what was added since (the entry an edit has just numbered).
int listFolder(int dirFd, std::vector<std::string>& names) {
    const HANDLE folder = ::ReOpenFile(handleOf(dirFd), FILE_LIST_DIRECTORY | SYNCHRONIZE,
                                       kShareAll, FILE_FLAG_BACKUP_SEMANTICS);
    if (folder == INVALID_HANDLE_VALUE) return failWithLastError();
    alignas(8) static thread_local unsigned char buffer[64 * 1024];
    for (auto kind = FileIdBothDirectoryRestartInfo;; kind = FileIdBothDirectoryInfo) {
        if (!::GetFileInformationByHandleEx(folder, kind, buffer, sizeof buffer)) {
            const DWORD error = ::GetLastError();
            ::CloseHandle(folder);
            if (error == ERROR_NO_MORE_FILES) return 0;
            ::SetLastError(error);
            return failWithLastError();
        }
        for (std::size_t at = 0;;) {
            const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer + at);
            const std::wstring name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
            if (name != L"." && name != L"..") names.push_back(platform::pathText(name));
            if (entry->NextEntryOffset == 0) break;
            at += entry->NextEntryOffset;
        }
    }
}

// A read-only file is replaced and removed as POSIX does, whose permissions
// guard a file's bytes, not its name: `done` is tried again once the file at
// `path` is read-only no more, and a second failure leaves it as it was.
template <typename Done>
int evenReadOnly(const fs::path& path, Done done) {
    if (done()) return 0;
    const DWORD error = ::GetLastError();
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_READONLY) && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
        ::SetFileAttributesW(path.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY})) {
        if (done()) return 0;
        const DWORD again = ::GetLastError();
        ::SetFileAttributesW(path.c_str(), attributes);
        ::SetLastError(again);
        return failWithLastError();
    }
    ::SetLastError(error);
    return failWithLastError();
}

int rename(const fs::path& from, const fs::path& to) {
    // Windows replaces no file that another program holds open, however it
    // shares it. Programs that know nothing of the folder lock (the game, a
    // virus scanner, the search indexer) hold a game file for milliseconds:
    // the rename waits that out. A refusal that outlasts the wait is told as
    // the file being in use, the one cause left once the writer has checked
    // the file and its folder.
    constexpr ULONGLONG kPatience = 3000;
    const ULONGLONG start = ::GetTickCount64();
    for (DWORD pause = 1;; pause = std::min<DWORD>(pause * 2, 50)) {
        // Written through: returns once the rename is on the disk, which is
        // what a folder's fsync gives on POSIX.
        if (evenReadOnly(to, [&] {
                return ::MoveFileExW(from.c_str(), to.c_str(),
                                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
            }) == 0)
            return 0;
        if (errno != EACCES) return -1;
        if (::GetTickCount64() - start >= kPatience) return fail(EBUSY);
        ::Sleep(pause);
    }
}

int renameNoReplace(const fs::path& from, const fs::path& to) {
    // Written through, as rename.
    if (::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) return 0;
    const DWORD error = ::GetLastError();
    if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION)
        if (const HANDLE held = heldAt(from); held != INVALID_HANDLE_VALUE)
            return moveThrough(held, to);
    ::SetLastError(error);
    return failWithLastError();
}

int renameNoReplaceIn(int dirFd, const std::string& from, const std::string& to) {
    return renameNoReplace(pathIn(dirFd, from), pathIn(dirFd, to));
}

int removeFile(const fs::path& path) {
    return evenReadOnly(path, [&] { return ::DeleteFileW(path.c_str()) != 0; });
}

int removeFolder(const fs::path& path) {
    if (::RemoveDirectoryW(path.c_str())) return 0;
    const DWORD error = ::GetLastError();
    // A folder this program holds goes through its own handle, once closed.
    if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION)
        if (const HANDLE held = heldAt(path); held != INVALID_HANDLE_VALUE)
            return removeThrough(held);
    ::SetLastError(error);
    return failWithLastError();
}

int removeIn(int dirFd, const std::string& name, bool folder) {
    return folder ? removeFolder(pathIn(dirFd, name)) : removeFile(pathIn(dirFd, name));
}

int removeHeldFolder(int, const std::string&, int fd) {
    return removeThrough(handleOf(fd));
}

int makeFolderIn(int dirFd, const std::string& name) {
    return ::CreateDirectoryW(pathIn(dirFd, name).c_str(), nullptr) ? 0 : failWithLastError();
}

int tryLock(int fd) {
    Status status;
    if (statusOf(fd, status) != 0) return -1;
    if (status.kind == Kind::Folder) return 0;
    // Far past any byte the file will hold: Windows locks keep others from
    // reading what they cover, and the lock is only a mark.
    OVERLAPPED at{};
    at.OffsetHigh = 0x40000000;
    if (::LockFileEx(handleOf(fd), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                     &at))
        return 0;
    return ::GetLastError() == ERROR_LOCK_VIOLATION ? fail(EWOULDBLOCK) : failWithLastError();
}

std::int64_t readSome(int fd, void* bytes, std::size_t count) {
    return ::_read(fd, bytes, static_cast<unsigned>(std::min<std::size_t>(count, 1u << 30)));
}

std::int64_t readAt(int fd, void* bytes, std::size_t count, std::int64_t offset) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(offset));
    at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
    DWORD read = 0;
    if (::ReadFile(handleOf(fd), bytes, static_cast<DWORD>(std::min<std::size_t>(count, 1u << 30)),
                   &read, &at))
        return read;
    return ::GetLastError() == ERROR_HANDLE_EOF ? 0 : failWithLastError();
}

int truncate(int fd, std::int64_t length) {
    const errno_t error = ::_chsize_s(fd, length);
    return error == 0 ? 0 : fail(error);
}

// No way to ask where a file's holes are: the writer copies everything.
std::int64_t nextData(int, std::int64_t) {
    return fail(EINVAL);
}
std::int64_t nextHole(int, std::int64_t) {
    return fail(EINVAL);
}

bool isSuperUser() {
    return false;
}

std::uint32_t fileModeMask() {
    return 0;
}

// Windows files have no owner to give: a replaced file gets the folder's.
int giveOwner(int, const Status&) {
    return 0;
}
int giveOwnerIn(int, const std::string&, const Status&) {
    return 0;
}

int setMode(int fd, std::uint32_t mode) {
    FILE_BASIC_INFO info{};
    if (!::GetFileInformationByHandleEx(handleOf(fd), FileBasicInfo, &info, sizeof info))
        return failWithLastError();
    if (info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) return 0;
    DWORD attributes = info.FileAttributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL);
    attributes = (mode & 0222) ? attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY)
                               : attributes | FILE_ATTRIBUTE_READONLY;
    info.FileAttributes = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
    return ::SetFileInformationByHandle(handleOf(fd), FileBasicInfo, &info, sizeof info)
               ? 0
               : failWithLastError();
}

int setModeIn(int dirFd, const std::string& name, std::uint32_t mode) {
    const fs::path path = pathIn(dirFd, name);
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return failWithLastError();
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return 0;
    const DWORD wanted = (mode & 0222) ? attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY)
                                       : attributes | FILE_ATTRIBUTE_READONLY;
    return ::SetFileAttributesW(path.c_str(), wanted) ? 0 : failWithLastError();
}

int mayWrite(const fs::path& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return failWithLastError();
    return (attributes & FILE_ATTRIBUTE_READONLY) ? fail(EACCES) : 0;
}

// A folder's read-only attribute keeps no one from writing in it.
int mayWriteIn(const fs::path& folder) {
    const DWORD attributes = ::GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return failWithLastError();
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : fail(ENOTDIR);
}

// NUL, as the system itself reads the name (in any folder; with any
// extension on the Windows versions that still read it so).
bool isNullDevice(const fs::path& path) {
    wchar_t full[16];
    const DWORD length = ::GetFullPathNameW(path.c_str(), 16, full, nullptr);
    return length == 7 && ::CompareStringOrdinal(full, 7, L"\\\\.\\NUL", 7, TRUE) == CSTR_EQUAL;
}

void removeFileNow(const char* path) noexcept {
    static wchar_t wide[32768];
    if (widen(path, wide, 32768)) ::DeleteFileW(wide);
}

void removeFolderNow(const char* path) noexcept {
    static wchar_t wide[32768];
    if (widen(path, wide, 32768)) ::RemoveDirectoryW(wide);
}

void onEndingEvents(void (*handler)(int event)) {
    g_endingHandler.store(handler);
    ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

// As Windows ends a program on Ctrl+C.
void endProgramFor(int) noexcept {
    ::ExitProcess(STATUS_CONTROL_C_EXIT);
}

void waitForever() noexcept {
    for (;;) ::Sleep(INFINITE);
}

// The console's handler runs on a thread of its own, which waits for the
// commits itself (see onConsoleEvent): nothing to hold back here.
void holdEndingEvents(HeldEvents&) noexcept {}
void releaseEndingEvents(const HeldEvents&) noexcept {}

}  // namespace karnwick::sys
