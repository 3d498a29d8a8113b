#include "ui/game_folder.h"

#include <QByteArray>
#include <QFile>
#include <QFileDialog>

std::optional<std::filesystem::path> pickGameFolder(QWidget* parent,
                                                    const std::filesystem::path& start) {
    const QString chosen = QFileDialog::getExistingDirectory(
        parent, QStringLiteral("Open Game Folder"), shownFolder(start));
    if (chosen.isEmpty()) return std::nullopt;
    return std::filesystem::path(QFile::encodeName(chosen).toStdString());
}

QString shownFolder(const std::filesystem::path& folder) {
    return QFile::decodeName(QByteArray::fromStdString(folder.native()));
}
