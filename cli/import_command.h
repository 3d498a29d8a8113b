#pragma once

#include <QStringList>
#include <ostream>

namespace karnwick::cli {

// `karnwick import stats FILE.csv` and `karnwick import sprite N FILE.png`:
// the way back into the game files for what `list --csv` and `export sprite`
// give out.
int runImportCommand(const QStringList& arguments, std::ostream& out, std::ostream& err);

}  // namespace karnwick::cli
