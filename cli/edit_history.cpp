#include "cli/edit_history.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <sstream>

#include "cli/command_line.h"
#include "cli/game_edit.h"
#include "data/errors.h"
#include "data/file_writer.h"
#include "data/game_file.h"

namespace fs = std::filesystem;

namespace karnwick::cli {

namespace {

constexpr const char* kEntryFileName = "entry";
constexpr std::string_view kPendingPrefix = ".pending-";

std::string numbered(int number) {
    char name[16];
    std::snprintf(name, sizeof name, "%06d", number);
    return name;
}

// The number of an entry's folder name, or 0 for anything else.
int entryNumber(std::string_view name) {
    int number = 0;
    const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), number);
    return error == std::errc{} && end == name.data() + name.size() && name.size() == 6 ? number
                                                                                        : 0;
}

std::vector<unsigned char> bytesOf(const fs::path& file) {
    return readWholeFile(file);
}

std::string entryText(const HistoryEntry& entry) {
    std::string text = "number " + std::to_string(entry.number) + "\ntime " + entry.time +
                       "\ncommand " + entry.command + "\ntarget " + std::to_string(entry.target) +
                       "\nsummary " + entry.summary + "\n";
    for (const HistoryFile& file : entry.files)
        text += "file " + file.name + (file.present ? " present\n" : " absent\n");
    for (const HistoryFile& file : entry.files)
        if (!file.after.empty()) text += "after " + file.name + " " + file.after + "\n";
    return text;
}

// Which file is at `file` now: every write through the writer makes a new
// file (a new inode), an edit in place changes the time or the size.
std::string fileIdentity(const fs::path& file) {
    struct stat status {};
    if (::lstat(file.c_str(), &status) != 0) return "absent";
    return std::to_string(status.st_ino) + ":" + std::to_string(status.st_size) + ":" +
           std::to_string(status.st_mtim.tv_sec) + "." + std::to_string(status.st_mtim.tv_nsec);
}

std::optional<HistoryEntry> parseEntry(const fs::path& file) {
    const std::vector<unsigned char> bytes = bytesOf(file);
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    HistoryEntry entry;
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t space = line.find(' ');
        const std::string key = line.substr(0, space);
        const std::string value = space == std::string::npos ? "" : line.substr(space + 1);
        if (key == "number") {
            entry.number = std::atoi(value.c_str());
        } else if (key == "time") {
            entry.time = value;
        } else if (key == "command") {
            entry.command = value;
        } else if (key == "target") {
            entry.target = std::atoi(value.c_str());
        } else if (key == "summary") {
            entry.summary = value;
        } else if (key == "file") {
            const std::size_t last = value.rfind(' ');
            if (last == std::string::npos) return std::nullopt;
            entry.files.push_back({value.substr(0, last), value.substr(last + 1) == "present", {}});
        } else if (key == "after") {
            const std::size_t last = value.rfind(' ');
            if (last == std::string::npos) return std::nullopt;
            for (HistoryFile& kept : entry.files)
                if (kept.name == value.substr(0, last)) kept.after = value.substr(last + 1);
        }
    }
    if (entry.number <= 0 || entry.command.empty()) return std::nullopt;
    return entry;
}

void syncFolder(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

std::int64_t folderBytes(const fs::path& folder) {
    std::int64_t total = 0;
    std::error_code error;
    for (const auto& item : fs::directory_iterator(folder, error))
        if (item.is_regular_file(error)) total += static_cast<std::int64_t>(item.file_size(error));
    return total;
}

// A copy is no easier to read than the game file it keeps, and belongs to
// the same user. When root edits the game folder of another user, the
// history stays that user's, or their own next edit could not be recorded.
void shareLikeTheGameFiles(const fs::path& gameDir, const fs::path& history,
                           const fs::path& pending, const std::vector<HistoryFile>& files) {
    const bool root = ::geteuid() == 0;
    for (const HistoryFile& file : files) {
        struct stat game {};
        if (!file.present || ::stat((gameDir / file.name).c_str(), &game) != 0) continue;
        const fs::path copy = pending / file.name;
        if (root && ::lchown(copy.c_str(), game.st_uid, game.st_gid) != 0) continue;
        ::chmod(copy.c_str(), (game.st_mode & 0777) | 0400);
    }
    struct stat folder {};
    if (!root || ::stat(gameDir.c_str(), &folder) != 0) return;
    for (const fs::path& path : {history, pending, pending / kEntryFileName})
        ::lchown(path.c_str(), folder.st_uid, folder.st_gid);
}

[[noreturn]] void refuseHistory(const fs::path& history, const std::string& why) {
    throw CommandError("cannot record the edit in " + shownPath(history) + ": " + why +
                       "; pass --no-history to edit without it");
}

// Whether the game files are as the pending copies keep them: then the edit
// never landed.
bool matchesCopies(const fs::path& gameDir, const fs::path& pending, const HistoryEntry& entry) {
    for (const HistoryFile& file : entry.files) {
        std::error_code error;
        const bool there = fs::exists(gameDir / file.name, error);
        if (there != file.present) return false;
        if (there && bytesOf(gameDir / file.name) != bytesOf(pending / file.name)) return false;
    }
    return true;
}

}  // namespace

EditHistory::EditHistory(fs::path gameDir)
    : m_gameDir(std::move(gameDir)), m_folder(m_gameDir / kHistoryFolderName) {
    settlePending();
    load();
}

void EditHistory::settlePending() {
    std::error_code error;
    for (const auto& item : fs::directory_iterator(m_folder, error)) {
        const std::string name = item.path().filename().string();
        if (!name.starts_with(kPendingPrefix)) continue;
        const int number = entryNumber(std::string_view(name).substr(kPendingPrefix.size()));
        const auto entry = parseEntry(item.path() / kEntryFileName);
        std::error_code ignored;
        if (number > 0 && entry && !matchesCopies(m_gameDir, item.path(), *entry)) {
            fs::rename(item.path(), m_folder / numbered(number), ignored);
            syncFolder(m_folder);
        } else {
            fs::remove_all(item.path(), ignored);
        }
    }
}

void EditHistory::load() {
    std::error_code error;
    for (const auto& item : fs::directory_iterator(m_folder, error)) {
        const int number = entryNumber(item.path().filename().string());
        if (number == 0) continue;
        if (auto entry = parseEntry(item.path() / kEntryFileName)) {
            entry->number = number;
            m_entries.push_back(std::move(*entry));
        }
    }
    std::sort(m_entries.begin(), m_entries.end(),
              [](const HistoryEntry& a, const HistoryEntry& b) { return a.number < b.number; });
}

namespace {

// The edits in force and those that could be redone, replayed from the log.
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
    const Stacks stacks = replay(m_entries);
    return std::find(stacks.undone.begin(), stacks.undone.end(), number) != stacks.undone.end();
}

std::optional<std::string> EditHistory::changedSinceRecorded(
    const std::vector<std::string>& names) const {
    for (const std::string& name : names) {
        for (auto entry = m_entries.rbegin(); entry != m_entries.rend(); ++entry) {
            const auto file = std::find_if(entry->files.begin(), entry->files.end(),
                                           [&](const HistoryFile& f) { return f.name == name; });
            if (file == entry->files.end()) continue;
            // An entry a killed program left without its `after` lines tells nothing.
            if (!file->after.empty() && file->after != fileIdentity(m_gameDir / name)) return name;
            break;
        }
    }
    return std::nullopt;
}

std::vector<unsigned char> EditHistory::keptBytes(int number, const std::string& file) const {
    return bytesOf(m_folder / numbered(number) / file);
}

PendingEdit::PendingEdit(const fs::path& gameDir, std::string command, std::string summary,
                         const std::vector<std::string>& files, int target)
    : m_gameDir(gameDir), m_history(gameDir / kHistoryFolderName) {
    HistoryEntry& entry = m_entry;
    entry.command = std::move(command);
    entry.summary = std::move(summary);
    entry.target = target;
    entry.time = QDateTime::currentDateTime().toString("yyyy-MM-dd HH:mm:ss").toStdString();
    std::error_code error;
    int last = 0;
    for (const auto& item : fs::directory_iterator(m_history, error)) {
        std::string name = item.path().filename().string();
        if (name.starts_with(kPendingPrefix)) name.erase(0, kPendingPrefix.size());
        last = std::max(last, entryNumber(name));
    }
    entry.number = last + 1;
    m_pending = m_history / (std::string(kPendingPrefix) + numbered(entry.number));
    try {
        FileSet copies(m_pending, Existing::Replace);
        std::int64_t total = 0;
        for (const std::string& name : files) {
            const bool present = fs::exists(gameDir / name, error);
            entry.files.push_back({name, present, {}});
            if (!present) continue;
            const std::vector<unsigned char> bytes = bytesOf(gameDir / name);
            total += static_cast<std::int64_t>(bytes.size());
            if (total > historyLimits().bytes)
                refuseHistory(m_history, "the files it replaces are larger than 64 MiB");
            copies.add(name, bytes);
        }
        copies.add(kEntryFileName, entryText(entry));
        copies.commit();
    } catch (const GameError& e) {
        std::error_code ignored;
        fs::remove_all(m_pending, ignored);
        refuseHistory(m_history, e.what());
    }
    shareLikeTheGameFiles(gameDir, m_history, m_pending, entry.files);
    syncFolder(m_history);
}

PendingEdit::~PendingEdit() {
    if (m_kept) return;
    std::error_code ignored;
    fs::remove_all(m_pending, ignored);
}

void PendingEdit::keep() {
    for (HistoryFile& file : m_entry.files) file.after = fileIdentity(m_gameDir / file.name);
    try {
        writeFileAtomically(m_pending / kEntryFileName, entryText(m_entry), Existing::Replace);
    } catch (const GameError&) {
        // Without its `after` lines the entry still undoes; it only cannot
        // tell a change made after it.
    }
    std::error_code error;
    fs::rename(m_pending, m_history / numbered(m_entry.number), error);
    // The game files are written: an entry that cannot take its number is
    // settled by the next use, as after a crash.
    if (error) return;
    m_kept = true;
    syncFolder(m_history);
    // The oldest go first past either limit; the newest always stays.
    std::vector<std::pair<int, std::int64_t>> kept;
    for (const auto& item : fs::directory_iterator(m_history, error)) {
        const int number = entryNumber(item.path().filename().string());
        if (number > 0) kept.emplace_back(number, folderBytes(item.path()));
    }
    std::sort(kept.begin(), kept.end(), std::greater<>());
    std::int64_t total = 0;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        total += kept[i].second;
        if (i > 0 && (i >= std::size_t(historyLimits().edits) || total > historyLimits().bytes))
            fs::remove_all(m_history / numbered(kept[i].first), error);
    }
}

HistoryLimits& historyLimits() {
    static HistoryLimits limits;
    return limits;
}

QCommandLineOption noHistoryOption() {
    return QCommandLineOption("no-history",
                              "Do not record the edit in .karnwick-history (it cannot be undone).");
}

}  // namespace karnwick::cli
