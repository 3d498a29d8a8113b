// The CSV of `list --csv` and `import stats`, in a game folder of its own.
// The first byte of an input chooses what the rest is:
//  - even: a monsters.tat. list --csv, then import stats of that CSV, leaves
//    the file byte for byte as it was, whatever its records hold.
//  - odd: a CSV a modder wrote. import stats refuses it (status 2, the file
//    untouched) or takes it (status 0); once taken, list --csv and import
//    stats of that again change nothing.

#include <unistd.h>

#include <QStringList>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "cli/commands.h"
#include "data/monster_stats.h"
#include "data/sprite.h"
#include "fuzz/fuzz_check.h"

using karnwick::fuzz::check;

namespace {

std::filesystem::path folder;

void removeFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

void write(const std::string& name, const std::string& bytes) {
    std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    check(bool(out), "the fuzzer's folder can be written");
}

std::string read(const std::string& name) {
    std::ifstream in(folder / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

int run(const char* command, const QStringList& arguments, std::string* output = nullptr) {
    std::ostringstream out, err;
    const int status = karnwick::cli::runCommand(
        *karnwick::cli::findCommand(command),
        QStringList(arguments) << "--dir" << QString::fromStdString(folder.string()), out, err);
    if (output) *output = out.str();
    return status;
}

// list --csv into a file, then import stats of it.
int listAndImport() {
    std::string csv;
    check(run("list", {"--csv"}, &csv) == 0, "list --csv reads any monsters.tat");
    write("records.csv", csv);
    return run("import", {"stats", (folder / "records.csv").string().c_str()});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (folder.empty()) {
        folder = std::filesystem::temp_directory_path() /
                 ("karnwick-csv-fuzz-" + std::to_string(getpid()));
        std::filesystem::create_directories(folder);
        std::atexit(removeFolder);
    }
    if (size == 0 || size > 64 * karnwick::kRecordLength) return 0;
    const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::size_t records =
        (rest.size() + karnwick::kRecordLength - 1) / karnwick::kRecordLength;
    // A sprite for every record, so list shows each.
    write(karnwick::kSpriteFileName,
          std::string(std::max<std::size_t>(records, 3) * karnwick::kSpriteBytes, '\0'));

    if (data[0] % 2 == 0) {
        write(karnwick::kStatsFileName, rest);
        check(listAndImport() == 0, "import stats takes what list --csv writes");
        check(read(karnwick::kStatsFileName) == rest,
              "list --csv then import stats changes nothing");
        return 0;
    }
    const std::string before(3 * karnwick::kRecordLength, '\x01');
    write(karnwick::kStatsFileName, before);
    write("modder.csv", rest);
    const int status = run("import", {"stats", (folder / "modder.csv").string().c_str()});
    check(status == 0 || status == 2, "import stats succeeds or refuses");
    if (status == 2) {
        check(read(karnwick::kStatsFileName) == before, "a refused import writes nothing");
        return 0;
    }
    const std::string taken = read(karnwick::kStatsFileName);
    check(taken.size() >= before.size(), "an import never shortens monsters.tat");
    // Every record the import could reach shows in list.
    write(karnwick::kSpriteFileName,
          std::string(taken.size() / karnwick::kRecordLength * karnwick::kSpriteBytes +
                          karnwick::kSpriteBytes,
                      '\0'));
    check(listAndImport() == 0, "import stats takes what list --csv writes");
    check(read(karnwick::kStatsFileName) == taken, "an import is listed as it was taken");
    return 0;
}
