// The words of a command line, as text for the parser and back to their bytes.

#include "cli/arguments.h"

#include "data/text_codec.h"

namespace karnwick::cli {

QString argumentFromBytes(std::string_view bytes) {
    return QString::fromStdU16String(argumentText(bytes));
}

QStringList argumentsFromArgv(int argc, const char* const argv[]) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments << argumentFromBytes(argv[i]);
    return arguments;
}

std::string bytesFromArgument(const QString& argument) {
    return argumentBytes(argument.toStdU16String());
}

std::filesystem::path pathFromArgument(const QString& argument) {
    return std::filesystem::path(bytesFromArgument(argument));
}

}  // namespace karnwick::cli
