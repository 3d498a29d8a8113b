#pragma once
// The words of a command line as the shell passed them: as text for Qt's
// parser with every byte kept, and back to those bytes for a path. Both
// programs read their arguments through these, `karnwick` and the arena.

#include <QString>
#include <QStringList>
#include <filesystem>
#include <string>
#include <string_view>

namespace karnwick::cli {

// One argument's bytes as text for the parser (see argumentText in the text
// codec): a byte outside UTF-8 survives the way there and back.
QString argumentFromBytes(std::string_view bytes);

// The program's arguments after its name, each as argumentFromBytes reads it.
QStringList argumentsFromArgv(int argc, const char* const argv[]);

// The bytes an argument came as: the inverse of argumentFromBytes.
std::string bytesFromArgument(const QString& argument);

// A folder or file named on the command line (--dir, -o, a DIR argument) as
// the path the shell passed, byte for byte. Every command takes its paths
// through this (or CommandLine::pathValue), never through toStdString(),
// which turns a byte outside UTF-8 into U+FFFD and so names another file.
std::filesystem::path pathFromArgument(const QString& argument);

}  // namespace karnwick::cli
