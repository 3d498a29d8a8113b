#include "app/demo_folder.h"

#include <QStandardPaths>

#include "app/start_folder.h"
#include "data/file_writer.h"
#include "demo/set.h"
#include "ui/game_folder.h"

namespace arena {

namespace fs = std::filesystem;

fs::path demoSetFolder() {
    // The game's data folder, not the arena's own: the demo set is game files.
    // On Windows that is %LOCALAPPDATA%, where a machine's own data belongs.
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return pathFromText(data) / "karnwick" / "demo";
}

void provideDemoSet(const fs::path& folder) {
    if (holdsGameFiles(folder)) return;
    // The set makes the missing folders itself and removes them again when
    // it cannot be written whole.
    karnwick::writeDemoSet(folder, karnwick::Existing::Replace);
}

}  // namespace arena
