#include "cli/edit_history.h"

#include <QByteArrayView>
#include <QCryptographicHash>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <map>
#include <utility>

#include "cli/commands.h"
#include "cli/shown_text.h"
#include "data/errors.h"
#include "data/file_writer.h"
#include "data/game_file.h"
#include "data/monster_stats.h"
#include "data/palette.h"
#include "data/platform.h"
#include "data/sprite.h"
#include "data/system_calls.h"
#include "data/text_codec.h"
#include "data/writer_calls.h"

namespace fs = std::filesystem;

namespace karnwick::cli {

namespace {

constexpr const char* kEntryFileName = "entry";
constexpr std::string_view kPendingPrefix = ".pending-";
constexpr std::string_view kFormatLine = "format 2";
constexpr int kLastEntryNumber = 999999;
// An entry is a few lines; anything longer is no entry karnwick wrote.
constexpr std::int64_t kLongestEntry = 64 << 10;
// No copy is read past this, whatever an entry claims: the most the history
// ever keeps of one edit.
constexpr std::int64_t kLargestCopy = 64LL << 20;
constexpr const char* kGameFileNames[] = {kPaletteFileName, kSpriteFileName, kStatsFileName};

// A descriptor, closed by whoever holds it last.
class Descriptor {
  public:
    Descriptor() = default;
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0) sys::closeFile(m_fd);
    }
    Descriptor(Descriptor&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        std::swap(m_fd, other.m_fd);
        return *this;
    }
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }
    explicit operator bool() const { return m_fd >= 0; }

  private:
    int m_fd = -1;
};

void closeOwned(int& fd) {
    if (fd >= 0) sys::closeFile(fd);
    fd = -1;
}

std::string numbered(int number) {
    char name[16];
    std::snprintf(name, sizeof name, "%06d", number);
    return name;
}

// The number of an entry folder's name: exactly six digits, 000001 to
// 999999; 0 for any other name ("-00001" is no edit -1).
int entryNumber(std::string_view name) {
    if (name.size() != 6) return 0;
    int number = 0;
    for (const char c : name) {
        if (c < '0' || c > '9') return 0;
        number = number * 10 + (c - '0');
    }
    return number;
}

// A whole number of digits alone, up to `most`.
std::optional<std::int64_t> digits(std::string_view text, std::int64_t most) {
    if (text.empty() || text.size() > 15) return std::nullopt;
    std::int64_t number = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        number = number * 10 + (c - '0');
    }
    if (number > most) return std::nullopt;
    return number;
}

bool isSha256(std::string_view text) {
    return text.size() == 64 && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

std::string sha256Of(std::span<const unsigned char> bytes) {
    return QCryptographicHash::hash(QByteArrayView(reinterpret_cast<const char*>(bytes.data()),
                                                   static_cast<qsizetype>(bytes.size())),
                                    QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

// What stands somewhere when it is not what was looked for, for a message.
std::string kindOf(const sys::Status& status) {
    switch (status.kind) {
        case sys::Kind::Link:
            return "a symbolic link";
        case sys::Kind::Fifo:
            return "a FIFO";
        case sys::Kind::Folder:
            return "a folder";
        case sys::Kind::Regular:
            return "a file";
        case sys::Kind::Socket:
            return "a socket";
        case sys::Kind::Device:
        case sys::Kind::Other:
            break;
    }
    return "a device";
}

std::string kindAt(int dirFd, const char* name) {
    sys::Status status;
    if (sys::statusIn(dirFd, name, status) != 0) return std::strerror(errno);
    return kindOf(status);
}

// The names in the open folder `fd`, but "." and "..".
std::vector<std::string> namesIn(int fd) {
    std::vector<std::string> names;
    if (sys::listFolder(fd, names) != 0) names.clear();
    return names;
}

// Why something of the history cannot be used.
struct Unusable {
    std::string why;
};

// The folder `name` inside `dirFd`, never through a link. Nothing when it is
// missing; Unusable for a link or anything that is no folder.
Descriptor openFolderAt(int dirFd, const char* name, sys::Open how = sys::Open::Folder) {
    const int fd = sys::openIn(dirFd, name, how);
    if (fd >= 0) return Descriptor(fd);
    const int error = errno;
    if (error == ENOENT) return {};
    if (error == ELOOP || error == ENOTDIR)
        throw Unusable{"it is " + kindAt(dirFd, name) + ", not a folder"};
    throw Unusable{std::strerror(error)};
}

// A new folder `name` inside `dirFd`, opened without following a link and
// checked to be the empty folder just made, never one a link points to. It
// is held: only this program moves it (sys::Open::HeldFolder).
Descriptor makeFolderAt(int dirFd, const char* name) {
    if (sys::makeFolderIn(dirFd, name) != 0)
        throw Unusable{std::string(name) + " cannot be made (" + std::strerror(errno) + ")"};
    Descriptor folder = openFolderAt(dirFd, name, sys::Open::HeldFolder);
    if (!folder || !namesIn(folder.get()).empty())
        throw Unusable{std::string(name) + " changed as it was made"};
    return folder;
}

// The plain file `name` inside `dirFd`: never through a link, never waiting
// on a FIFO. Its status in `status`; Unusable for anything else.
Descriptor openFileAt(int dirFd, const std::string& name, sys::Status& status) {
    const int fd = sys::openIn(dirFd, name, sys::Open::Read);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT) throw Unusable{"is missing"};
        if (error == ELOOP) throw Unusable{"is a symbolic link"};
        throw Unusable{"cannot be read (" + std::string(std::strerror(error)) + ")"};
    }
    Descriptor file(fd);
    if (sys::statusOf(fd, status) != 0)
        throw Unusable{"cannot be read (" + std::string(std::strerror(errno)) + ")"};
    if (status.kind != sys::Kind::Regular) throw Unusable{"is " + kindOf(status) + ", not a file"};
    return file;
}

// Exactly `size` bytes of the open file, as fstat gave its size.
std::vector<unsigned char> readExactly(int fd, std::int64_t size) {
    std::vector<unsigned char> bytes(static_cast<std::size_t>(size));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const std::int64_t n = sys::readAt(fd, bytes.data() + done, bytes.size() - done,
                                           static_cast<std::int64_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw Unusable{"cannot be read (" + std::string(std::strerror(errno)) + ")"};
        if (n == 0) throw Unusable{"was cut short while it was read"};
        done += static_cast<std::size_t>(n);
    }
    return bytes;
}

std::string stampOf(const sys::Status& status) {
    return std::to_string(status.index) + ":" + std::to_string(status.modifiedSeconds) + "." +
           std::to_string(status.modifiedNanoseconds);
}

// The game file `name` as it is now. Anything but a plain file or nothing (a
// link, a FIFO) is a state no entry ever records.
FileState gameFileState(int gameFd, const std::string& name) {
    const int fd = sys::openIn(gameFd, name, sys::Open::Read);
    if (fd < 0 && errno == ENOENT) return {};
    FileState state{true, -1, "-", ""};
    if (fd < 0) return state;
    const Descriptor file(fd);
    sys::Status status;
    if (sys::statusOf(fd, status) != 0 || status.kind != sys::Kind::Regular) return state;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    std::vector<char> buffer(1 << 20);
    std::int64_t at = 0;
    for (;;) {
        const std::int64_t n = sys::readAt(fd, buffer.data(), buffer.size(), at);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return state;
        if (n == 0) break;
        hash.addData(QByteArrayView(buffer.data(), n));
        at += n;
    }
    return {true, static_cast<std::int64_t>(at), hash.result().toHex().toStdString(),
            stampOf(status)};
}

// The state to record as what an edit left: nothing when the file is no
// plain file, which no later state could be checked against.
std::optional<FileState> leftState(int gameFd, const std::string& name) {
    FileState state = gameFileState(gameFd, name);
    if (state.present && state.size < 0) return std::nullopt;
    return state;
}

// Whether the game file `name` is as `recorded`: by size and hash, the inode
// and time only sparing the hash when they agree.
bool gameFileMatches(int gameFd, const std::string& name, const FileState& recorded) {
    sys::Status status;
    if (sys::statusIn(gameFd, name, status) != 0) return errno == ENOENT && !recorded.present;
    if (!recorded.present || status.kind != sys::Kind::Regular || status.size != recorded.size)
        return false;
    if (!recorded.stamp.empty() && recorded.stamp == stampOf(status)) return true;
    const FileState now = gameFileState(gameFd, name);
    return now.size == recorded.size && now.sha256 == recorded.sha256;
}

std::string stateText(const FileState& state) {
    if (!state.present) return "absent";
    return std::to_string(state.size) + " " + state.sha256;
}

// A summary names what the user gave (a file name may hold a line break):
// escaped, it stays the one line it is meant to be.
std::string entryText(const HistoryEntry& entry) {
    std::string text = std::string(kFormatLine) + "\nnumber " + std::to_string(entry.number) +
                       "\ntime " + escapedText(entry.time) + "\ncommand " +
                       escapedText(entry.command) + "\ntarget " + std::to_string(entry.target) +
                       "\nsummary " + escapedText(entry.summary) + "\n";
    for (const HistoryFile& file : entry.files)
        text += "file " + file.name + (file.before.present ? " present " : " ") +
                stateText(file.before) + "\n";
    for (const HistoryFile& file : entry.files) {
        if (!file.after) continue;
        text += "after " + file.name + " " + stateText(*file.after);
        if (file.after->present && !file.after->stamp.empty()) text += " " + file.after->stamp;
        text += "\n";
    }
    return text;
}

std::vector<std::string_view> words(std::string_view text) {
    std::vector<std::string_view> result;
    while (!text.empty()) {
        const std::size_t space = text.find(' ');
        result.push_back(text.substr(0, space));
        if (space == std::string_view::npos) break;
        text.remove_prefix(space + 1);
    }
    return result;
}

// "SIZE SHA256" as an entry writes a present file.
std::optional<FileState> parseState(std::string_view size, std::string_view sha) {
    const auto bytes = digits(size, std::int64_t(1) << 48);
    if (!bytes || !isSha256(sha)) return std::nullopt;
    return FileState{true, *bytes, std::string(sha), ""};
}

// Marks `entry` as unusable; the first reason found is the one told.
void refuseEntry(HistoryEntry& entry, std::string why) {
    if (entry.problem.empty()) entry.problem = std::move(why);
}

std::string malformedLine(std::string_view line) {
    return "its line " + quotedText(line) + " is none karnwick writes";
}

// The state a "file" or "after" line gives (its words after the key), or
// nothing when it is malformed. `skipped` is set for a line of an earlier
// karnwick that tells too little to be of use.
std::optional<FileState> stateOnLine(std::string_view key,
                                     const std::vector<std::string_view>& parts, bool checked,
                                     bool& skipped) {
    if (parts.size() == 2 && parts[1] == "absent") return FileState{};
    if (key == "file" && parts.size() == 4 && parts[1] == "present")
        return parseState(parts[2], parts[3]);
    if (key == "after" && (parts.size() == 3 || parts.size() == 4)) {
        std::optional<FileState> state = parseState(parts[1], parts[2]);
        if (state && parts.size() == 4) state->stamp = parts[3];
        return state;
    }
    if (!checked && key == "file" && parts.size() == 2 && parts[1] == "present")
        return FileState{true, -1, "", ""};  // an earlier karnwick's entry
    // An earlier karnwick's inode and time tell too little.
    skipped = !checked && key == "after";
    return std::nullopt;
}

// A "file" line (a game file as the edit found it) or an "after" line (as
// the edit leaves it) into `entry`.
void readFileLine(HistoryEntry& entry, std::string_view key, std::string_view value,
                  std::string_view line) {
    const std::vector<std::string_view> parts = words(value);
    const std::string name(parts.empty() ? std::string_view() : parts[0]);
    if (std::find_if(std::begin(kGameFileNames), std::end(kGameFileNames),
                     [&](const char* game) { return name == game; }) == std::end(kGameFileNames)) {
        refuseEntry(entry, "it names the file " + quotedText(name) +
                               ", which is none of mypal.pal, monster.dat and monsters.tat");
        return;
    }
    auto known = std::find_if(entry.files.begin(), entry.files.end(),
                              [&](const HistoryFile& f) { return f.name == name; });
    bool skipped = false;
    const std::optional<FileState> state = stateOnLine(key, parts, entry.checked, skipped);
    if (skipped) return;
    if (!state) {
        refuseEntry(entry, malformedLine(line));
    } else if (key == "file") {
        if (known != entry.files.end())
            refuseEntry(entry, "it names " + name + " twice");
        else
            entry.files.push_back({name, *state, std::nullopt});
    } else if (known == entry.files.end() || known->after) {
        refuseEntry(entry, malformedLine(line));
    } else {
        known->after = *state;
    }
}

// The entry an `entry` file describes; `problem` says why it cannot be used.
HistoryEntry parseEntry(std::string_view text) {
    HistoryEntry entry;
    std::vector<std::string_view> lines;
    for (std::string_view rest = text; !rest.empty();) {
        const std::size_t end = rest.find('\n');
        lines.push_back(rest.substr(0, end));
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    }
    entry.checked = std::find(lines.begin(), lines.end(), kFormatLine) != lines.end();
    for (const std::string_view line : lines) {
        const std::size_t space = line.find(' ');
        const std::string_view key = line.substr(0, space);
        const std::string_view value =
            space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
        if (key == "time") {
            entry.time = value;
        } else if (key == "command") {
            entry.command = value;
        } else if (key == "target") {
            const auto target = digits(value, kLastEntryNumber);
            if (!target) refuseEntry(entry, malformedLine(line));
            entry.target = static_cast<int>(target.value_or(0));
        } else if (key == "summary") {
            entry.summary = value;
        } else if (key == "file" || key == "after") {
            readFileLine(entry, key, value, line);
        }
    }
    if (entry.command.empty()) refuseEntry(entry, "it names no command");
    if (entry.files.empty()) refuseEntry(entry, "it names no game file");
    return entry;
}

// Reads and parses the `entry` of the open entry folder.
HistoryEntry readEntry(int entryFd) {
    sys::Status status;
    std::vector<unsigned char> bytes;
    try {
        const Descriptor file = openFileAt(entryFd, kEntryFileName, status);
        if (status.size > kLongestEntry) throw Unusable{"is too long for one"};
        bytes = readExactly(file.get(), status.size);
    } catch (const Unusable& e) {
        throw Unusable{"its entry file " + e.why};
    }
    return parseEntry(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

// Removes `name` from the open folder `dirFd`: a folder with what it holds,
// anything else (a link too, never what it points to) by its name alone.
void removeAt(int dirFd, const std::string& name, int depth = 0) noexcept {
    sys::Status status;
    if (sys::statusIn(dirFd, name, status) != 0) return;
    if (status.kind != sys::Kind::Folder) {
        sys::removeIn(dirFd, name, false);
        return;
    }
    if (depth < 4) {
        const int fd = sys::openIn(dirFd, name, sys::Open::Folder);
        if (fd >= 0) {
            for (const std::string& inside : namesIn(fd)) removeAt(fd, inside, depth + 1);
            sys::closeFile(fd);
        }
    }
    sys::removeIn(dirFd, name, true);
}

// The writer takes paths: before it writes into a folder of the history, the
// path must still lead to the folder that was opened and checked.
void requireSameFolder(const fs::path& path, int fd) {
    sys::Status byPath, byFd;
    if (sys::statusAt(path, byPath, true) != 0 || sys::statusOf(fd, byFd) != 0 ||
        byPath.volume != byFd.volume || byPath.index != byFd.index)
        throw GameError(ErrorKind::FileWrite, platform::pathText(path),
                        "(it is no longer the folder that was checked)");
}

// The file of `entry`'s copy of `name` as the checks want it; a missing,
// linked or cut copy is Unusable.
Descriptor openCopy(int entryFd, const HistoryFile& file, sys::Status& status) {
    try {
        Descriptor copy = openFileAt(entryFd, file.name, status);
        if (file.before.size >= 0 && status.size != file.before.size)
            throw Unusable{"holds " + std::to_string(status.size) + " bytes, not the " +
                           std::to_string(file.before.size) + " it was recorded with"};
        if (status.size > kLargestCopy) throw Unusable{"is larger than any copy kept"};
        return copy;
    } catch (const Unusable& e) {
        throw Unusable{"its copy of " + file.name + " " + e.why};
    }
}

// The folder owner's edits stay theirs: when root edits the game folder of
// another user, the history stays that user's, or their own next edit could
// not be recorded; a copy is no easier to read than the file it keeps.
void shareLikeTheGameFiles(int gameFd, int historyFd, int pendingFd, const std::string& pending,
                           const std::vector<HistoryFile>& files) {
    const bool root = sys::isSuperUser();
    for (const HistoryFile& file : files) {
        sys::Status game;
        if (!file.before.present || sys::statusIn(gameFd, file.name, game, true) != 0) continue;
        if (root && sys::giveOwnerIn(pendingFd, file.name, game) != 0) continue;
        sys::setModeIn(pendingFd, file.name, (game.mode & 0777) | 0400);
    }
    sys::Status folder;
    if (!root || sys::statusOf(gameFd, folder) != 0) return;
    sys::giveOwner(historyFd, folder);
    sys::giveOwnerIn(historyFd, pending, folder);
    sys::giveOwnerIn(pendingFd, kEntryFileName, folder);
}

// The highest entry number in the history, pending ones included.
int highestNumber(int historyFd) {
    int highest = 0;
    for (std::string_view name : namesIn(historyFd)) {
        if (name.starts_with(kPendingPrefix)) name.remove_prefix(kPendingPrefix.size());
        highest = std::max(highest, entryNumber(name));
    }
    return highest;
}

// Gives the open pending folder `name` the number `number`, or the next free
// one when a crafted folder took it; the number it took, or 0 when it cannot
// be kept. The caller syncs the history folder once for all it numbers.
int numberPending(int historyFd, const std::string& name, int number) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (number > kLastEntryNumber) return 0;
        if (sys::renameNoReplaceIn(historyFd, name, numbered(number)) == 0) return number;
        if (errno != EEXIST && errno != ENOTEMPTY) return 0;
        number = highestNumber(historyFd) + 1;
    }
    return 0;
}

// An edit a killed program left pending is kept when the game files are as
// it meant to leave them (it landed), else dropped. One written without its
// `after` lines is kept when the files are no longer as its copies were.
void settlePending(int gameFd, int historyFd, const fs::path& history) {
    // Each game file is hashed once, however many pending entries ask.
    std::map<std::string, FileState> now;
    auto matches = [&](const std::string& file, const FileState& recorded) {
        if (!now.contains(file)) now[file] = gameFileState(gameFd, file);
        const FileState& state = now[file];
        return state.present == recorded.present &&
               (!state.present || (state.size == recorded.size && state.sha256 == recorded.sha256));
    };
    for (const std::string& name : namesIn(historyFd)) {
        if (!name.starts_with(kPendingPrefix)) continue;
        const int number = entryNumber(std::string_view(name).substr(kPendingPrefix.size()));
        if (number == 0) continue;
        bool landed = false;
        try {
            Descriptor pending = openFolderAt(historyFd, name.c_str());
            if (!pending) continue;
            HistoryEntry entry = readEntry(pending.get());
            const bool told = std::all_of(entry.files.begin(), entry.files.end(),
                                          [](const HistoryFile& f) { return f.after.has_value(); });
            if (entry.problem.empty() && entry.checked) {
                landed = true;
                bool asBefore = true;
                for (const HistoryFile& file : entry.files) {
                    if (told) landed = landed && matches(file.name, *file.after);
                    asBefore = asBefore && matches(file.name, file.before);
                }
                if (!told) landed = !asBefore;
            }
            if (landed && !told) {
                entry.number = number;
                for (HistoryFile& file : entry.files) file.after = leftState(gameFd, file.name);
                requireSameFolder(history / name, pending.get());
                writeFileAtomically(history / name / kEntryFileName, entryText(entry),
                                    Existing::Replace);
            }
        } catch (const Unusable&) {
            landed = false;
        } catch (const GameError&) {
            // The entry without its `after` lines still undoes; it only
            // cannot tell a change made after it.
        }
        if (!landed || numberPending(historyFd, name, number) == 0) removeAt(historyFd, name);
    }
    // Tidying only: what a power cut takes back is settled again next time.
    (void)syncFolder(historyFd);
}

CommandError historyRefusal(const fs::path& history, const std::string& why) {
    return CommandError("nothing was written: cannot record the edit in " + shownPath(history) +
                        ": " + why + "; pass --no-history to edit without it");
}

[[noreturn]] void refuseHistory(const fs::path& history, const std::string& why) {
    throw historyRefusal(history, why);
}

// A size as a message names it: "64 MiB", or its bytes when that is no
// whole number of MiB.
std::string byteCount(std::int64_t bytes) {
    constexpr std::int64_t kMiB = std::int64_t(1) << 20;
    if (bytes % kMiB == 0) return std::to_string(bytes / kMiB) + " MiB";
    return std::to_string(bytes) + " bytes";
}

// What the edit leaves in `name`, when it was told (see PendingEdit).
std::optional<FileState> leftBy(const std::vector<RestoredFile>* leaves, const std::string& name) {
    std::optional<FileState> after;
    if (!leaves) return after;
    for (const RestoredFile& left : *leaves) {
        if (left.name != name) continue;
        after = left.present ? FileState{true, static_cast<std::int64_t>(left.bytes.size()),
                                         sha256Of(left.bytes), ""}
                             : FileState{};
    }
    return after;
}

Descriptor openGameFolder(const fs::path& dir) {
    const int fd = sys::openAt(dir, sys::Open::FolderThrough);
    if (fd < 0)
        throw CommandError("cannot open " + shownPath(dir) + " (" + std::strerror(errno) + ")");
    return Descriptor(fd);
}

}  // namespace

EditHistory::EditHistory(fs::path gameDir)
    : m_gameDir(std::move(gameDir)), m_folder(m_gameDir / kHistoryFolderName) {
    m_gameFd = openGameFolder(m_gameDir).release();
    try {
        m_historyFd = openFolderAt(m_gameFd, kHistoryFolderName).release();
    } catch (const Unusable& e) {
        closeOwned(m_gameFd);
        throw CommandError(shownPath(m_folder) + " cannot be the history of the edits: " + e.why +
                           " (karnwick never follows it); move it away");
    }
    if (m_historyFd < 0) return;
    settlePending(m_gameFd, m_historyFd, m_folder);
    load();
}

EditHistory::~EditHistory() {
    closeOwned(m_historyFd);
    closeOwned(m_gameFd);
}

void EditHistory::load() {
    for (const std::string& name : namesIn(m_historyFd)) {
        const int number = entryNumber(name);
        if (number == 0) {
            m_ignored.push_back(name);
            continue;
        }
        HistoryEntry entry;
        try {
            const Descriptor folder = openFolderAt(m_historyFd, name.c_str());
            if (!folder) continue;  // gone since it was listed
            entry = readEntry(folder.get());
            for (const HistoryFile& file : entry.files) {
                sys::Status status;
                if (file.before.present && entry.problem.empty())
                    openCopy(folder.get(), file, status);
            }
        } catch (const Unusable& e) {
            entry.problem = e.why;
        }
        entry.number = number;
        m_entries.push_back(std::move(entry));
    }
    std::sort(m_entries.begin(), m_entries.end(),
              [](const HistoryEntry& a, const HistoryEntry& b) { return a.number < b.number; });
    std::sort(m_ignored.begin(), m_ignored.end());
}

namespace {

// The edits in force and those that could be redone, replayed from the log.
// An entry whose command is unknown counts as an edit: an undo reaches it and
// stops there.
struct Stacks {
    std::vector<int> done, undone;
};

Stacks replay(const std::vector<HistoryEntry>& entries) {
    Stacks stacks;
    for (const HistoryEntry& entry : entries) {
        if (entry.command == "undo") {
            if (!stacks.done.empty() && stacks.done.back() == entry.target) {
                stacks.done.pop_back();
                stacks.undone.push_back(entry.target);
            }
        } else if (entry.command == "redo") {
            if (!stacks.undone.empty() && stacks.undone.back() == entry.target) {
                stacks.undone.pop_back();
                stacks.done.push_back(entry.target);
            }
        } else {
            stacks.done.push_back(entry.number);
            stacks.undone.clear();
        }
    }
    return stacks;
}

}  // namespace

std::optional<HistoryEntry> EditHistory::nextUndo() const {
    const Stacks stacks = replay(m_entries);
    if (stacks.done.empty()) return std::nullopt;
    for (const HistoryEntry& entry : m_entries)
        if (entry.number == stacks.done.back()) return entry;
    return std::nullopt;
}

std::optional<HistoryEntry> EditHistory::nextRedo() const {
    const Stacks stacks = replay(m_entries);
    if (stacks.undone.empty()) return std::nullopt;
    // The files as the edit left them are those its latest undo replaced.
    for (auto entry = m_entries.rbegin(); entry != m_entries.rend(); ++entry)
        if (entry->command == "undo" && entry->target == stacks.undone.back()) return *entry;
    return std::nullopt;
}

bool EditHistory::isUndone(int number) const {
    // An edit stays undone after a later edit has dropped it from what redo
    // could bring back.
    const auto entry = std::find_if(m_entries.begin(), m_entries.end(),
                                    [&](const HistoryEntry& e) { return e.number == number; });
    if (entry == m_entries.end() || entry->command == "undo" || entry->command == "redo")
        return false;
    const Stacks stacks = replay(m_entries);
    return std::find(stacks.done.begin(), stacks.done.end(), number) == stacks.done.end();
}

std::string EditHistory::shownEntry(int number) const {
    return shownPath(m_folder / numbered(number));
}

void EditHistory::requireUsableFrom(int number, const std::string& command) const {
    for (auto entry = m_entries.rbegin(); entry != m_entries.rend(); ++entry) {
        if (entry->number < number) break;
        if (entry->problem.empty()) continue;
        throw CommandError(
            shownEntry(entry->number) + " cannot be used: " + entry->problem +
            (entry->number == number ? "" : "; " + command + " does not act past it") +
            ": nothing was changed");
    }
}

std::optional<std::string> EditHistory::changedSinceRecorded(const HistoryEntry& source) const {
    for (const HistoryFile& kept : source.files) {
        for (auto entry = m_entries.rbegin(); entry != m_entries.rend(); ++entry) {
            const auto file =
                std::find_if(entry->files.begin(), entry->files.end(),
                             [&](const HistoryFile& f) { return f.name == kept.name; });
            if (file == entry->files.end()) continue;
            if (file->after && !gameFileMatches(m_gameFd, file->name, *file->after))
                return file->name;
            break;
        }
    }
    return std::nullopt;
}

std::vector<RestoredFile> EditHistory::keptFiles(const HistoryEntry& entry) const {
    const std::string refused = shownEntry(entry.number) + " cannot be used: ";
    if (!entry.checked)
        throw CommandError(refused +
                           "an earlier karnwick recorded it without the sizes and hashes its "
                           "copies are checked by: nothing was changed");
    std::vector<RestoredFile> files;
    try {
        const Descriptor folder = openFolderAt(m_historyFd, numbered(entry.number).c_str());
        if (!folder) throw Unusable{"it is missing"};
        for (const HistoryFile& file : entry.files) {
            RestoredFile restored{file.name, file.before.present, {}};
            if (file.before.present) {
                sys::Status status;
                const Descriptor copy = openCopy(folder.get(), file, status);
                try {
                    restored.bytes = readExactly(copy.get(), status.size);
                } catch (const Unusable& e) {
                    throw Unusable{"its copy of " + file.name + " " + e.why};
                }
                if (sha256Of(restored.bytes) != file.before.sha256)
                    throw Unusable{"its copy of " + file.name +
                                   " is not what was kept (its SHA-256 differs)"};
            }
            files.push_back(std::move(restored));
        }
    } catch (const Unusable& e) {
        throw CommandError(refused + e.why + ": nothing was changed");
    }
    return files;
}

PendingEdit::PendingEdit(const fs::path& gameDir, std::string command, std::string summary,
                         const std::vector<std::string>& files, int target)
    : m_gameDir(gameDir), m_history(gameDir / kHistoryFolderName) {
    m_entry.command = std::move(command);
    m_entry.summary = std::move(summary);
    m_entry.target = target;
    record(files, nullptr);
}

PendingEdit::PendingEdit(const fs::path& gameDir, std::string command, std::string summary,
                         const std::vector<RestoredFile>& leaves, int target)
    : m_gameDir(gameDir), m_history(gameDir / kHistoryFolderName) {
    m_entry.command = std::move(command);
    m_entry.summary = std::move(summary);
    m_entry.target = target;
    std::vector<std::string> names;
    for (const RestoredFile& file : leaves) names.push_back(file.name);
    record(names, &leaves);
}

void PendingEdit::record(const std::vector<std::string>& files,
                         const std::vector<RestoredFile>* leaves) {
    m_entry.checked = true;
    m_entry.time = historyClock()().toString("yyyy-MM-dd HH:mm:ss").toStdString();
    try {
        openPending();
        const fs::path pending = m_history / m_pendingName;
        std::int64_t total = 0;
        for (const std::string& name : files) {
            HistoryFile file{name, {}, std::nullopt};
            const GameFile game(m_gameDir / name);
            if (game.exists()) {
                total += game.size();
                if (total > historyLimits().bytes)
                    refuseHistory(m_history, "the files it replaces are larger than " +
                                                 byteCount(historyLimits().bytes));
                std::vector<unsigned char> bytes(static_cast<std::size_t>(game.size()));
                bytes.resize(game.readAt(0, bytes));
                file.before = {true, static_cast<std::int64_t>(bytes.size()), sha256Of(bytes), ""};
                writeFileAtomically(pending / name, bytes, Existing::Refuse);
            }
            file.after = leftBy(leaves, name);
            m_entry.files.push_back(std::move(file));
        }
        writeFileAtomically(pending / kEntryFileName, entryText(m_entry), Existing::Refuse);
        shareLikeTheGameFiles(m_gameFd, m_historyFd, m_pendingFd, m_pendingName, m_entry.files);
        // The pending entry must outlast a power cut before any game file changes.
        if (const int error = syncFolder(m_historyFd))
            throw GameError(ErrorKind::FileWrite, platform::pathText(m_history),
                            "(cannot sync the folder: " + std::string(std::strerror(error)) + ")");
    } catch (...) {
        abandon();
    }
}

void PendingEdit::openPending() {
    m_gameFd = openGameFolder(m_gameDir).release();
    try {
        Descriptor history = openFolderAt(m_gameFd, kHistoryFolderName);
        if (!history) history = makeFolderAt(m_gameFd, kHistoryFolderName);
        m_historyFd = history.release();
    } catch (const Unusable& e) {
        refuseHistory(m_history, e.why);
    }
    settlePending(m_gameFd, m_historyFd, m_history);
    m_entry.number = highestNumber(m_historyFd) + 1;
    if (m_entry.number > kLastEntryNumber)
        refuseHistory(m_history, "it holds edit " + std::to_string(kLastEntryNumber) +
                                     ", the last number an edit can take (move the "
                                     "history away to start a new one)");
    m_pendingName = std::string(kPendingPrefix) + numbered(m_entry.number);
    try {
        m_pendingFd = makeFolderAt(m_historyFd, m_pendingName.c_str()).release();
    } catch (const Unusable& e) {
        m_pendingName.clear();
        refuseHistory(m_history, e.why);
    }
    requireSameFolder(m_history / m_pendingName, m_pendingFd);
}

void PendingEdit::abandon() {
    std::exception_ptr failure = std::current_exception();
    try {
        std::rethrow_exception(failure);
    } catch (const GameError& e) {
        failure = std::make_exception_ptr(historyRefusal(m_history, e.what()));
    } catch (...) {
    }
    if (m_historyFd >= 0 && !m_pendingName.empty()) removeAt(m_historyFd, m_pendingName);
    closeOwned(m_pendingFd);
    closeOwned(m_historyFd);
    closeOwned(m_gameFd);
    std::rethrow_exception(failure);
}

PendingEdit::~PendingEdit() {
    if (!m_kept && m_historyFd >= 0 && !m_pendingName.empty()) removeAt(m_historyFd, m_pendingName);
    closeOwned(m_pendingFd);
    closeOwned(m_historyFd);
    closeOwned(m_gameFd);
}

void PendingEdit::keep() {
    // The game files are written: from here the pending entry is the next
    // use's to settle, should it fail to take its number now.
    m_kept = true;
    for (HistoryFile& file : m_entry.files) file.after = leftState(m_gameFd, file.name);
    try {
        requireSameFolder(m_history / m_pendingName, m_pendingFd);
        writeFileAtomically(m_history / m_pendingName / kEntryFileName, entryText(m_entry),
                            Existing::Replace);
    } catch (const GameError&) {
        // The pending entry still tells what the edit meant to leave, which
        // settles it on the next use.
    }
    const int taken = numberPending(m_historyFd, m_pendingName, m_entry.number);
    if (taken == 0) return;
    // The oldest go first past either limit; the newest always stays.
    std::vector<std::pair<int, std::int64_t>> kept;
    for (const std::string& name : namesIn(m_historyFd)) {
        const int number = entryNumber(name);
        if (number == 0) continue;
        // The new entry is read through the folder this edit holds: Windows
        // lets no one else open a folder held for removal.
        const bool ours = number == taken;
        const int fd = ours ? -1 : sys::openIn(m_historyFd, name, sys::Open::Folder);
        const int folder = ours ? m_pendingFd : fd;
        std::int64_t bytes = 0;
        if (folder >= 0) {
            for (const std::string& inside : namesIn(folder)) {
                sys::Status status;
                if (sys::statusIn(folder, inside, status) == 0 && status.kind == sys::Kind::Regular)
                    bytes += status.size;
            }
        }
        if (fd >= 0) sys::closeFile(fd);
        kept.emplace_back(number, bytes);
    }
    std::sort(kept.begin(), kept.end(), std::greater<>());
    std::int64_t total = 0;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        total += kept[i].second;
        if (i > 0 && (i >= std::size_t(historyLimits().edits) || total > historyLimits().bytes))
            removeAt(m_historyFd, numbered(kept[i].first));
    }
    // The edit has landed; an entry a power cut leaves pending again is kept
    // by the next use, as the game files show it landed.
    (void)syncFolder(m_historyFd);
}

HistoryLimits& historyLimits() {
    static HistoryLimits limits;
    return limits;
}

std::function<QDateTime()>& historyClock() {
    static std::function<QDateTime()> clock = [] { return QDateTime::currentDateTime(); };
    return clock;
}

QCommandLineOption noHistoryOption() {
    return QCommandLineOption("no-history",
                              "Do not record the edit in .karnwick-history (it cannot be undone).");
}

}  // namespace karnwick::cli
