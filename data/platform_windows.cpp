// The Windows side of the platform layer (platform.h): wide paths, HANDLEs,
// and LockFileEx on a lock file in the game folder.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <thread>

#include "data/folder_lock.h"
#include "data/platform.h"

namespace karnwick::platform {

namespace fs = std::filesystem;

namespace {

// The system's own wording for its error codes (GCC 12's system_category
// reads them as errno values).
class WindowsCategory : public std::error_category {
  public:
    const char* name() const noexcept override { return "windows"; }
    std::string message(int code) const override {
        wchar_t* text = nullptr;
        const DWORD length = ::FormatMessageW(
            FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                FORMAT_MESSAGE_IGNORE_INSERTS,
            nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
        if (length == 0) return "error " + std::to_string(code);
        std::wstring wide(text, length);
        ::LocalFree(text);
        // Messages end in ".\r\n"; they go into ours in parentheses.
        while (!wide.empty() && (wide.back() == L'\n' || wide.back() == L'\r' ||
                                 wide.back() == L' ' || wide.back() == L'.'))
            wide.pop_back();
        return utf8Text(wide);
    }
};

std::error_code errorOf(DWORD code) {
    static const WindowsCategory category;
    return {static_cast<int>(code), category};
}

// Read before anything else runs: even a first use of a static (thread-local
// storage underneath) clears the thread's last error.
std::error_code lastError() {
    return errorOf(::GetLastError());
}

HANDLE native(Handle handle) {
    return reinterpret_cast<HANDLE>(handle);
}
Handle wrap(HANDLE handle) {
    return handle == INVALID_HANDLE_VALUE ? kNoHandle : reinterpret_cast<Handle>(handle);
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::optional<FileIdentity> identityOf(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle, &info)) return std::nullopt;
    return FileIdentity{info.dwVolumeSerialNumber,
                        (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

}  // namespace

void closeHandle(Handle handle) noexcept {
    if (handle != kNoHandle) ::CloseHandle(native(handle));
}

std::optional<FileIdentity> identityOf(const fs::path& path) {
    // Backup semantics open folders as well as files.
    const HANDLE handle = ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
    const auto identity = identityOf(handle);
    ::CloseHandle(handle);
    return identity;
}

std::string utf8Text(std::wstring_view text) {
    const int wide = static_cast<int>(text.size());
    std::string bytes(std::size_t(::WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, nullptr, 0,
                                                        nullptr, nullptr)),
                      '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, bytes.data(),
                          static_cast<int>(bytes.size()), nullptr, nullptr);
    return bytes;
}

std::string pathText(const fs::path& path) {
    // Forward slashes, which Windows takes as well: a file the program names
    // in a folder (".\\monsters.tat" by the native separator) reads as it
    // does on POSIX, so every output is the same on both.
    return utf8Text(path.generic_wstring());
}

fs::path pathFromText(const std::string& text) {
    return std::u8string(text.begin(), text.end());
}

OpenedFile openForReading(const fs::path& path) {
    OpenedFile opened;
    // Shared every way, so a game file being read never stops a writer from
    // replacing it; the reader keeps the old one.
    const HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        opened.error = errorOf(code);
        opened.missing = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
        // A folder cannot be opened as a file: it is refused as POSIX refuses it.
        const DWORD attributes = ::GetFileAttributesW(path.c_str());
        opened.notRegular = code == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
                            (attributes & FILE_ATTRIBUTE_DIRECTORY);
        return opened;
    }
    // A device (NUL, CON, a pipe) or a folder is no game file.
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileType(handle) != FILE_TYPE_DISK || !::GetFileInformationByHandle(handle, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        ::CloseHandle(handle);
        opened.notRegular = true;
        return opened;
    }
    opened.handle = wrap(handle);
    return opened;
}

std::int64_t fileSize(Handle handle, std::error_code& error) {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(native(handle), &size)) {
        error = lastError();
        return -1;
    }
    return size.QuadPart;
}

std::int64_t readAt(Handle handle, std::int64_t offset, unsigned char* bytes, std::size_t count,
                    std::error_code& error) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(offset));
    at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
    DWORD read = 0;
    const DWORD asked = static_cast<DWORD>(std::min<std::size_t>(count, 1u << 30));
    if (!::ReadFile(native(handle), bytes, asked, &read, &at)) {
        if (::GetLastError() == ERROR_HANDLE_EOF) return 0;
        error = lastError();
        return -1;
    }
    return read;
}

// The lock is LockFileEx on the folder's lock file (kFolderGateName), which
// stays in the folder: Windows locks files, never folders. Its first byte is
// the gate, its second the lock itself.

namespace {

constexpr DWORD kGate = 0;
constexpr DWORD kLock = 1;

// Polls rather than blocks, so the note can be given after a second and a
// deadline kept; the pause grows to 10 ms, short beside the commit being
// waited for. Windows sleeps in whole milliseconds.
std::error_code pollLock(HANDLE file, DWORD byte, bool exclusive, LockWait& waiting) {
    const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    for (auto pause = std::chrono::milliseconds(1);;
         pause = std::min(pause * 2, std::chrono::milliseconds(10))) {
        OVERLAPPED at{};
        at.Offset = byte;
        if (::LockFileEx(file, flags, 0, 1, 0, &at)) return {};
        if (::GetLastError() != ERROR_LOCK_VIOLATION) return lastError();
        if (!waiting.keepWaiting()) return timedOut();
        std::this_thread::sleep_for(pause);
    }
}

void unlockByte(HANDLE file, DWORD byte) noexcept {
    OVERLAPPED at{};
    at.Offset = byte;
    ::UnlockFileEx(file, 0, 1, 0, &at);
}

}  // namespace

Handle openFolderLock(const fs::path& folder, bool writing, FileIdentity& identity,
                      std::error_code& error) {
    const auto folderIdentity = identityOf(folder);
    if (!folderIdentity) {
        error = lastError();
        return kNoHandle;
    }
    identity = *folderIdentity;
    // Never through a link put in the lock file's place.
    const fs::path name = folder / kFolderGateName;
    constexpr DWORD kFlags = FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_OPEN_REPARSE_POINT;
    HANDLE file = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                                OPEN_ALWAYS, kFlags, nullptr);
    if (file == INVALID_HANDLE_VALUE && !writing)  // a folder nobody may write
        file = ::CreateFileW(name.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, kFlags,
                             nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = lastError();
        return kNoHandle;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))) {
        ::CloseHandle(file);
        error = std::make_error_code(std::errc::not_supported);
        return kNoHandle;
    }
    return wrap(file);
}

std::error_code lockFolder(Handle handle, bool exclusive, LockWait& waiting) {
    const HANDLE file = native(handle);
    if (exclusive) {
        // A writer closes the gate behind the readers present, then waits for them.
        if (const auto error = pollLock(file, kGate, true, waiting)) return error;
        const auto error = pollLock(file, kLock, true, waiting);
        unlockByte(file, kGate);
        return error;
    }
    // A reader passes the gate, which a waiting writer holds closed.
    if (const auto error = pollLock(file, kGate, false, waiting)) return error;
    unlockByte(file, kGate);
    return pollLock(file, kLock, false, waiting);
}

bool mayHoldFolderLock(const fs::path& folder) {
    return ::GetFileAttributesW((folder / kFolderGateName).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool tryLockFolder(Handle handle) {
    OVERLAPPED at{};
    at.Offset = kLock;
    return ::LockFileEx(native(handle), LOCKFILE_FAIL_IMMEDIATELY | LOCKFILE_EXCLUSIVE_LOCK, 0, 1,
                        0, &at);
}

void unlockFolder(Handle handle) noexcept {
    unlockByte(native(handle), kLock);
}

}  // namespace karnwick::platform
