// The words of a command line, as text for the parser and back to their bytes.

#include "cli/arguments.h"

#include "data/console.h"
#include "data/platform.h"
#include "data/text_codec.h"

namespace karnwick::cli {

QString argumentFromBytes(std::string_view bytes) {
    return QString::fromStdU16String(argumentText(bytes));
}

QStringList argumentsFromArgv(int argc, const char* const argv[]) {
    QStringList arguments;
    for (const std::string& bytes : platform::commandArguments(argc, argv))
        arguments << argumentFromBytes(bytes);
    return arguments;
}

std::string bytesFromArgument(const QString& argument) {
    return argumentBytes(argument.toStdU16String());
}

std::filesystem::path pathFromArgument(const QString& argument) {
    return platform::pathFromText(bytesFromArgument(argument));
}

}  // namespace karnwick::cli
