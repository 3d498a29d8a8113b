// The pictures of the karnwick program: karnwick-pictures.so, loaded with the
// first command that draws, so that every other command starts without Qt's
// graphics libraries. It is looked for beside the program (the build tree),
// then where it is installed.

#include <QLibrary>
#include <filesystem>
#include <string>

#include "cli/commands.h"
#include "cli/pictures.h"
#include "data/console.h"

namespace karnwick::cli {

namespace {

const Pictures* loadPictures() {
    std::error_code error;
    const std::filesystem::path folder = platform::programFile().parent_path();
    std::string problem = "it is neither beside the program nor at " +
                          (folder / KARNWICK_PICTURES_INSTALLED).lexically_normal().string();
    for (const char* place : {KARNWICK_PICTURES_FILE, KARNWICK_PICTURES_INSTALLED}) {
        const std::filesystem::path file = folder / place;
        if (!std::filesystem::exists(file, error)) continue;
        QLibrary library(QString::fromStdString(file.string()));
        library.setLoadHints(QLibrary::ResolveAllSymbolsHint);
        using Entry = const Pictures* (*)();
        if (const auto entry = reinterpret_cast<Entry>(library.resolve("karnwickPictures")))
            return entry();
        problem = library.errorString().toStdString();
    }
    throw CommandError("cannot load the drawing library " + std::string(KARNWICK_PICTURES_FILE) +
                       ": " + problem);
}

}  // namespace

const Pictures& pictures() {
    static const Pictures* const table = loadPictures();
    return *table;
}

}  // namespace karnwick::cli
