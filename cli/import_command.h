#pragma once

#include <QString>
#include <QStringList>
#include <filesystem>
#include <ostream>

#include "cli/commands.h"

#include "cli/game_edit.h"

namespace karnwick::cli {

// `karnwick import stats FILE.csv` and `karnwick import sprite N FILE.png`:
// the way back into the game files for what `list --csv` and `export sprite`
// give out.
int runImportCommand(const Command& command, const QStringList& arguments, std::ostream& out,
                     std::ostream& err);

// What `import` is asked to do, as its command line gives it; each half
// (import_stats_command.h, import_sprite_command.h) runs its own.
struct ImportRequest {
    enum class What { Stats, Sprite };
    What what = What::Stats;
    QString monster;  // sprite: N, by index or name
    QString file;     // FILE.csv or FILE.png; - for standard input
    bool nearest = false;
    EditMode mode;
};

}  // namespace karnwick::cli
