#pragma once
// What `import` reads: a file named on the command line, or standard input for
// "-", whole and before anything is changed.

#include <QString>
#include <string>

namespace karnwick::cli {

// The input as messages name it: the path as given, or "standard input".
std::string inputName(const QString& argument);

// The whole of the file `argument` names, or of standard input for "-".
// Anything short of reading it to its end is a CommandError naming the input
// and the reason: a folder, a closed standard input, a failed read (never
// taken for the end), more than 64 MiB.
std::string readWholeInput(const QString& argument);

}  // namespace karnwick::cli
