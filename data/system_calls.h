#pragma once
// The file system calls of the one writer (and of the edit history) that
// POSIX and Windows make differently, beside those a test may make fail
// (writer_calls.h). One implementation per system (system_calls_posix.cpp,
// system_calls_windows.cpp), chosen by the build; the writer's logic is the
// same code everywhere.
//
// Descriptors are ints: the system's on POSIX, the C runtime's on Windows
// (an open folder too). Every call returns 0, a descriptor or a count, or -1
// with errno set as the writer's messages know it ("Permission denied", "No
// space left on device"), on Windows too. Names of entries are UTF-8 on
// Windows, as platform::pathText gives them.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace karnwick::sys {

namespace fs = std::filesystem;

// A symbolic link on POSIX, any reparse point (a link, a junction) on Windows:
// the writer never follows one.
enum class Kind { Regular, Folder, Link, Fifo, Socket, Device, Other };

struct Status {
    Kind kind = Kind::Other;
    std::int64_t size = 0;
    std::uint64_t links = 0;
    // Device and inode on POSIX, volume serial number and file index on Windows.
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    // Permission bits (07777). On Windows 0666, or 0444 for a read-only file.
    std::uint32_t mode = 0;
    // The owner and group where POSIX has them; 0 on Windows.
    std::uint32_t owner = 0;
    std::uint32_t group = 0;
    // Last modified: seconds since 1970, and the nanoseconds within.
    std::int64_t modifiedSeconds = 0;
    std::int64_t modifiedNanoseconds = 0;
};

int statusOf(int fd, Status& status);
// `followLinks`: stat, or lstat.
int statusAt(const fs::path& path, Status& status, bool followLinks);
// Of the entry `name` of the open folder `dirFd`.
int statusIn(int dirFd, const std::string& name, Status& status, bool followLinks = false);

enum class Open {
    // For reading, whatever the entry is (a FIFO never waits for a writer),
    // but never through a link.
    Read,
    // The same through links (a game file the user may have linked).
    ReadThrough,
    // A command's input, through links, waiting for a FIFO's writer.
    ReadInput,
    // For writing what is there, links followed (the null device).
    Write,
    // A new file for reading and writing, only the owner's until its mode is
    // set; fails with EEXIST when the name is taken.
    CreateNew,
    // A folder, to list or to status its entries, never through a link; on
    // Windows it can be neither renamed nor removed meanwhile.
    Folder,
    // The same through links (the game folder the user names).
    FolderThrough,
    // A folder this program builds in or removes, never through a link, and
    // locked with tryLock. On Windows the open itself is the lock: only when
    // nobody holds the folder so, and then nobody can until it is closed;
    // this program still moves it (renameNoReplace) and removes it
    // (removeHeldFolder).
    HeldFolder,
};

int openAt(const fs::path& path, Open how);
int openIn(int dirFd, const std::string& name, Open how);
int closeFile(int fd);
int duplicate(int fd);

// The names in the open folder (without "." and "..").
int listFolder(int dirFd, std::vector<std::string>& names);

// Replaces what is at `to`, never through the injectable calls of
// writer_calls.h: for putting things back after one of those failed.
int rename(const fs::path& from, const fs::path& to);
// Fails with EEXIST rather than replace what is at `to`; moves a folder this
// program holds (HeldFolder) as well.
int renameNoReplace(const fs::path& from, const fs::path& to);
int renameNoReplaceIn(int dirFd, const std::string& from, const std::string& to);
int removeFile(const fs::path& path);
int removeFolder(const fs::path& path);
// The entry `name` of the open folder `dirFd`: a file, or an empty folder.
int removeIn(int dirFd, const std::string& name, bool folder);
// The empty folder `name` of `dirFd`, which the caller holds open at `fd`
// (as HeldFolder).
int removeHeldFolder(int dirFd, const std::string& name, int fd);
int makeFolderIn(int dirFd, const std::string& name);

// The exclusive lock of an open file, or fails at once (EWOULDBLOCK on
// POSIX) when another open file holds it. Of a folder opened as
// HeldFolder: on Windows, the open already kept everyone else out.
int tryLock(int fd);

std::int64_t readSome(int fd, void* bytes, std::size_t count);
std::int64_t readAt(int fd, void* bytes, std::size_t count, std::int64_t offset);
int truncate(int fd, std::int64_t length);
// Where the next bytes of data start from `at`, and where they end; -1 with
// ENXIO past the last data, or another errno when the file system cannot
// tell (always on Windows).
std::int64_t nextData(int fd, std::int64_t at);
std::int64_t nextHole(int fd, std::int64_t at);

// Whether this program may give files to others and ignores permissions
// (root); never on Windows.
bool isSuperUser();
// The bits a new file does not get (the umask); none on Windows.
std::uint32_t fileModeMask();
// Gives the open file the owner and group of `status` (root only); nothing
// on Windows.
int giveOwner(int fd, const Status& status);
int giveOwnerIn(int dirFd, const std::string& name, const Status& status);
// Sets the permission bits; on Windows only the write bits count, as the
// read-only attribute, and a folder keeps its own.
int setMode(int fd, std::uint32_t mode);
int setModeIn(int dirFd, const std::string& name, std::uint32_t mode);
// Whether this user may write the file (for root, as for everyone else).
int mayWrite(const fs::path& path);
// Whether this user may create and remove entries in the folder.
int mayWriteIn(const fs::path& folder);

// The null device (/dev/null, NUL): the one target that is no regular file
// and is still written.
bool isNullDevice(const fs::path& path);

// Sets errno from the system's last error and returns -1 (on POSIX errno
// already is that error).
int failWithLastError();

// --- For the writer's clean-up when the program is ended: these may run in
// --- a signal handler (POSIX) or the console's handler thread (Windows).

// `path` in UTF-8 on Windows.
void removeFileNow(const char* path) noexcept;
void removeFolderNow(const char* path) noexcept;

// The events that end the program: SIGINT, SIGTERM and SIGHUP on POSIX
// (only those the program does not already ignore or handle), Ctrl+C, Ctrl+Break
// and the closing of the console on Windows. `handler` gets the event and
// either ends the program (endProgramFor) or returns to hold it back.
void onEndingEvents(void (*handler)(int event));
// What an ending event would have done without the handler (on POSIX, once
// the handler returns when the signal is held back meanwhile).
void endProgramFor(int event) noexcept;
// Stops this thread for good (the program ends from another).
[[noreturn]] void waitForever() noexcept;

// Holds back the ending events on this thread (POSIX) until released.
struct HeldEvents {
    alignas(8) unsigned char saved[256];
};
void holdEndingEvents(HeldEvents& previous) noexcept;
void releaseEndingEvents(const HeldEvents& previous) noexcept;

}  // namespace karnwick::sys
