#include "tools/demo_data_command.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include "tools/demo_set.h"

namespace {

bool writeWhole(const QString& path, const char* data, qint64 size, QString& error) {
    // QSaveFile writes beside the target and renames at the end, so an
    // interrupted run never leaves half a game file behind.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
        return false;
    }
    if (file.write(data, size) != size) {
        error = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

}  // namespace

int runDemoDataCommand(const QStringList& arguments, std::ostream& out, std::ostream& err) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Writes a complete demo set of game files (mypal.pal, monster.dat, monsters.tat) "
        "with 50 monsters and 7 bosses.");
    parser.addPositionalArgument("DIR", "Folder to write into (default: the current folder).",
                                 "[DIR]");
    const QCommandLineOption forceOption("force", "Overwrite game files that already exist.");
    const QCommandLineOption helpOption(QStringList{"h", "help"}, "Show this help.");
    parser.addOption(forceOption);
    parser.addOption(helpOption);

    if (!parser.parse(QStringList{"karnwick demo-data"} + arguments)) {
        err << "karnwick demo-data: " << parser.errorText().toStdString() << "\n";
        return 2;
    }
    if (parser.isSet(helpOption)) {
        out << parser.helpText().toStdString();
        return 0;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1) {
        err << "karnwick demo-data: only one folder may be given\n";
        return 2;
    }

    const QDir dir(positional.isEmpty() ? QStringLiteral(".") : positional.front());
    std::vector<QString> paths;
    for (const auto& name : karnwick::demoFileNames())
        paths.push_back(dir.filePath(QString::fromStdString(name.string())));

    if (!parser.isSet(forceOption)) {
        for (const QString& path : paths) {
            if (QFileInfo::exists(path)) {
                err << "karnwick demo-data: " << QDir::toNativeSeparators(path).toStdString()
                    << " already exists; use --force to overwrite it\n";
                return 1;
            }
        }
    }
    if (!QDir().mkpath(dir.path())) {
        err << "karnwick demo-data: cannot create the folder "
            << QDir::toNativeSeparators(dir.path()).toStdString() << "\n";
        return 1;
    }

    const karnwick::DemoSet set = karnwick::makeDemoSet();
    const std::pair<const char*, qint64> contents[] = {
        {set.palette.data(), qint64(set.palette.size())},
        {reinterpret_cast<const char*>(set.sprites.data()), qint64(set.sprites.size())},
        {reinterpret_cast<const char*>(set.records.data()), qint64(set.records.size())},
    };
    for (std::size_t i = 0; i < paths.size(); ++i) {
        QString error;
        if (!writeWhole(paths[i], contents[i].first, contents[i].second, error)) {
            err << "karnwick demo-data: cannot write "
                << QDir::toNativeSeparators(paths[i]).toStdString() << ": " << error.toStdString()
                << "\n";
            return 1;
        }
    }
    out << "Wrote the demo set (" << karnwick::kDemoMonsterCount << " monsters) to "
        << QDir::toNativeSeparators(dir.absolutePath()).toStdString() << "\n";
    return 0;
}
