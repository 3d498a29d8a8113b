#include "cli/demo_data_command.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCommandLineParser>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <vector>

#include "cli/command_line.h"
#include "demo/set.h"

namespace fs = std::filesystem;

namespace {

std::string reason(int error) {
    return std::strerror(error);
}

// The three files go in as a set: each is first written whole to a hidden
// file beside its place, and only when all three are ready are they renamed
// into place, the old files kept aside until then. A failure at any step puts
// back what was there, so the folder holds either the old files or the new set.
class SetWriter {
  public:
    ~SetWriter() {
        for (const Slot& slot : m_slots) {
            if (!slot.temporary.empty()) ::unlink(slot.temporary.c_str());
            if (!slot.backup.empty()) ::unlink(slot.backup.c_str());
        }
    }

    // Writes `bytes` to a new hidden file in `target`'s folder.
    bool prepare(const fs::path& target, std::string_view bytes, std::string& error) {
        Slot& slot = m_slots.emplace_back();
        slot.target = target;
        std::string pattern =
            (target.parent_path() / ('.' + target.filename().string() + ".XXXXXX")).string();
        const int fd = ::mkstemp(pattern.data());
        if (fd < 0) {
            error = "cannot write " + target.string() + ": " + reason(errno);
            return false;
        }
        slot.temporary = pattern;
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                error = "cannot write " + target.string() + ": " + reason(errno);
                ::close(fd);
                return false;
            }
            done += static_cast<std::size_t>(n);
        }
        if (::fchmod(fd, 0644) != 0 || ::fsync(fd) != 0 || ::close(fd) != 0) {
            error = "cannot write " + target.string() + ": " + reason(errno);
            return false;
        }
        return true;
    }

    // Puts every prepared file in place, or none of them.
    bool commit(std::string& error) {
        for (Slot& slot : m_slots) {
            struct stat info {};
            if (::lstat(slot.target.c_str(), &info) != 0) continue;
            if (S_ISDIR(info.st_mode)) {
                error = "cannot write " + slot.target.string() + ": it is a folder";
                return false;
            }
            // A hard link to the old entry (a link stays a link) keeps it
            // until the set is in place.
            std::string backup = slot.temporary + ".old";
            if (::link(slot.target.c_str(), backup.c_str()) != 0) {
                error = "cannot replace " + slot.target.string() + ": " + reason(errno);
                return false;
            }
            slot.backup = backup;
        }
        for (std::size_t i = 0; i < m_slots.size(); ++i) {
            // rename replaces the entry itself: a link is replaced, never the
            // file it leads to.
            if (::rename(m_slots[i].temporary.c_str(), m_slots[i].target.c_str()) != 0) {
                error = "cannot write " + m_slots[i].target.string() + ": " + reason(errno);
                rollBack(i);
                return false;
            }
            m_slots[i].temporary.clear();
        }
        return true;
    }

  private:
    struct Slot {
        fs::path target;
        std::string temporary;
        std::string backup;
    };

    void rollBack(std::size_t placed) {
        for (std::size_t i = 0; i < placed; ++i) {
            Slot& slot = m_slots[i];
            if (!slot.backup.empty()) {
                if (::rename(slot.backup.c_str(), slot.target.c_str()) == 0) slot.backup.clear();
            } else {
                ::unlink(slot.target.c_str());
            }
        }
    }

    std::vector<Slot> m_slots;
};

}  // namespace

int runDemoDataCommand(const QStringList& arguments, std::ostream& out, std::ostream& err) {
    using namespace karnwick;
    cli::CommandLine line("demo-data", "[DIR]",
                          "Writes a complete demo set of game files (mypal.pal, monster.dat, "
                          "monsters.tat)\nwith 50 monsters and 7 bosses.");
    line.parser().addPositionalArgument(
        "DIR", "Folder to write into (default: the current folder).", "[DIR]");
    const QCommandLineOption forceOption("force", "Overwrite game files that already exist.");
    line.parser().addOption(forceOption);
    if (const auto status = line.parse(arguments, out, err)) return *status;
    const QStringList positional = line.positionalArguments();
    if (positional.size() > 1) return line.fail(err, "only one folder may be given");

    const fs::path dir =
        positional.isEmpty() ? fs::path(".") : cli::pathFromArgument(positional.front());
    std::vector<fs::path> paths;
    for (const auto& name : demoFileNames()) paths.push_back(dir / name);

    // A link counts as a file even when it leads nowhere: the set never
    // writes through a link out of its folder.
    if (!line.isSet(forceOption)) {
        for (const fs::path& path : paths) {
            std::error_code error;
            if (fs::exists(fs::symlink_status(path, error))) {
                return line.fail(err,
                                 path.string() + " already exists; use --force to overwrite it");
            }
        }
    }
    std::error_code error;
    fs::create_directories(dir, error);
    if (error || !fs::is_directory(dir)) {
        return line.fail(err, "cannot create the folder " + dir.string() + ": " +
                                  (error ? error.message() : "a file of that name is in the way"));
    }

    const DemoSet set = makeDemoSet();
    const std::string_view contents[] = {
        set.palette,
        {reinterpret_cast<const char*>(set.sprites.data()), set.sprites.size()},
        {reinterpret_cast<const char*>(set.records.data()), set.records.size()},
    };
    SetWriter writer;
    std::string problem;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (!writer.prepare(paths[i], contents[i], problem)) return line.fail(err, problem);
    }
    if (!writer.commit(problem)) return line.fail(err, problem);
    out << "Wrote the demo set (" << kDemoMonsterCount << " monsters) to "
        << fs::absolute(dir).lexically_normal().string() << "\n";
    return cli::kExitSuccess;
}
