#include "ui/game_folder.h"

#include <QByteArray>
#include <QFile>
#include <QFileDialog>

#include "data/errors.h"
#include "data/platform.h"

std::optional<std::filesystem::path> pickGameFolder(QWidget* parent,
                                                    const std::filesystem::path& start) {
    const QString chosen = QFileDialog::getExistingDirectory(
        parent, QStringLiteral("Open Game Folder"), shownFolder(start));
    if (chosen.isEmpty()) return std::nullopt;
    return pathFromText(chosen);
}

QString shownFolder(const std::filesystem::path& folder) {
#ifdef Q_OS_WIN
    return QString::fromStdWString(folder.native());
#else
    return QFile::decodeName(QByteArray::fromStdString(folder.native()));
#endif
}

std::filesystem::path pathFromText(const QString& text) {
#ifdef Q_OS_WIN
    return std::filesystem::path(text.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(text).toStdString());
#endif
}

std::filesystem::path resolveGameFolder(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::path resolved = std::filesystem::canonical(folder, error);
    if (error || !std::filesystem::is_directory(resolved, error)) {
        throw karnwick::GameError(karnwick::ErrorKind::FileAccess,
                                  karnwick::platform::pathText(folder),
                                  "as a game folder: it does not exist or is not a folder");
    }
    return resolved;
}
