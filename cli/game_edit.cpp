#include "cli/game_edit.h"

#include <cerrno>

#include "cli/command_line.h"
#include "cli/edit_history.h"
#include "cli/shown_text.h"
#include "data/errors.h"
#include "data/file_set.h"
#include "data/game_file.h"
#include "data/monster_stats.h"
#include "data/record_fields.h"
#include "data/sprite.h"
#include "data/system_calls.h"
#include "data/text_codec.h"

namespace karnwick::cli {

GameFolderLock::GameFolderLock(const std::filesystem::path& dir)
    : m_lock(dir, FolderAccess::Write) {}

void requireOwnGameFile(const std::filesystem::path& dir, const char* name, MissingFile missing) {
    const std::filesystem::path file = dir / name;
    sys::Status status;
    if (sys::statusAt(file, status, false) != 0 && errno == ENOENT &&
        missing == MissingFile::Created) {
        requireGameFiles(dir, {kSpriteFileName});
        return;
    }
    if (sys::statusAt(file, status, false) != 0 || status.kind == sys::Kind::Regular) {
        requireGameFiles(dir, {name});
        // Other names of the same file would keep the old data while this
        // one gets a new file: the set they belong to would be split.
        if (status.kind == sys::Kind::Regular && status.links > 1) {
            throw CommandError(std::string(name) + " has " + std::to_string(status.links) +
                               " hard links, and an edit would leave the other names with the "
                               "old data: copy it into a folder of its own and pass --dir with "
                               "that folder");
        }
        return;
    }
    if (status.kind != sys::Kind::Link) {
        requireGameFiles(dir, {name});
        return;
    }
    std::error_code error;
    const std::filesystem::path target = std::filesystem::read_symlink(file, error);
    const std::filesystem::path shown =
        std::filesystem::weakly_canonical(target.is_absolute() ? target : dir / target, error);
    throw CommandError(std::string(name) + " is a link to " + shownPath(shown) +
                       ": pass --dir with " + shownPath(shown) + "'s folder");
}

std::vector<unsigned char> readWholeFile(const std::filesystem::path& file) {
    const GameFile game(file);
    std::vector<unsigned char> bytes(static_cast<std::size_t>(game.size()));
    game.readAt(0, bytes);
    return bytes;
}

void rewriteGameFile(const std::filesystem::path& file, std::span<const unsigned char> bytes,
                     Existing existing) {
    writeFileAtomically(file, bytes, existing);
}

EditOptions addEditOptions(CommandLine& line, const QString& dryRunHelp) {
    EditOptions options{
        QCommandLineOption("dry-run", dryRunHelp), noHistoryOption(),
        QCommandLineOption("force", "Replace game files that are write-protected.")};
    line.parser().addOptions({options.dryRun, options.noHistory, options.force});
    return options;
}

EditMode editMode(const CommandLine& line, const EditOptions& options) {
    return {line.isSet(options.dryRun), !line.isSet(options.noHistory), line.isSet(options.force)};
}

std::string shownFieldValue(const MonsterStats& stats, const RecordField& field) {
    return field.number ? std::to_string(stats.*field.number)
                        : quotedText(fieldText(textField(stats, field)));
}

void restoreGameFiles(const std::filesystem::path& dir, const std::vector<RestoredFile>& files,
                      Existing existing) {
    FileSet set(dir, existing);
    for (const RestoredFile& file : files)
        if (file.present) set.add(file.name, file.bytes);
    set.commit();
    for (const RestoredFile& file : files) {
        std::error_code error;
        if (!file.present && !std::filesystem::remove(dir / file.name, error) && error)
            throw CommandError("cannot remove " + shownPath(dir / file.name) + " (" +
                               error.message() + ")");
    }
}

void commitAfterReport(std::ostream& out, const std::function<void()>& commit) {
    try {
        out.flush();
    } catch (const CommandError& e) {
        if (!e.isReaderGone()) throw;
        commit();
        throw;
    }
    commit();
}

}  // namespace karnwick::cli
