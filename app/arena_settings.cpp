#include "app/arena_settings.h"

#include <QByteArray>
#include <QSettings>
#include <QStandardPaths>

#include "data/text_codec.h"
#include "ui/game_folder.h"
#include "ui/player_messages.h"

namespace arena {

namespace fs = std::filesystem;

namespace {

// QSettings reads its file as it is made, with a blocking read: a FIFO there
// would stop the arena before its window. Only the file's status is asked
// (never opened), following a link as QSettings would.
bool isSafeToRead(const fs::path& file) {
    std::error_code error;
    const fs::file_status status = fs::status(file, error);
    return !fs::exists(status) || fs::is_regular_file(status);
}

}  // namespace

fs::path ArenaSettings::playerFile() {
#ifdef Q_OS_WIN
    // The roaming profile, which follows the player from machine to machine.
    return pathFromText(qEnvironmentVariable("APPDATA")) / "karnwick" / "karnwick-arena.ini";
#else
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return pathFromText(config) / "karnwick" / "karnwick-arena.conf";
#endif
}

ArenaSettings::ArenaSettings(const fs::path& file) {
    if (!isSafeToRead(file)) {
        printToStderr(settingsIgnoredText(file));
        return;
    }
    m_settings = std::make_unique<QSettings>(shownFolder(file), QSettings::IniFormat);
}

ArenaSettings::~ArenaSettings() = default;

fs::path ArenaSettings::rememberedFolder() const {
    if (!m_settings) return {};
#ifdef Q_OS_WIN
    return pathFromText(m_settings->value(QLatin1String(kLastFolderKey)).toString());
#else
    // Kept as text when it is valid UTF-8, else as bytes; both read back as bytes.
    const QByteArray bytes = m_settings->value(QLatin1String(kLastFolderKey)).toByteArray();
    return bytes.toStdString();
#endif
}

void ArenaSettings::rememberFolder(const fs::path& folder) {
    // The usual start is in the folder already remembered: writing it again
    // would cost a synced file write before the window shows.
    if (!m_settings || rememberedFolder() == folder) return;
#ifdef Q_OS_WIN
    m_settings->setValue(QLatin1String(kLastFolderKey), shownFolder(folder));
#else
    const QByteArray bytes = QByteArray::fromStdString(folder.native());
    if (karnwick::isUtf8(folder.native())) {
        m_settings->setValue(QLatin1String(kLastFolderKey), QString::fromUtf8(bytes));
    } else {
        m_settings->setValue(QLatin1String(kLastFolderKey), bytes);
    }
#endif
}

QString settingsIgnoredText(const fs::path& file) {
    return QStringLiteral(
               "karnwick-arena: %1: not a regular file; the arena neither reads nor remembers "
               "its last game folder there")
        .arg(shownFolder(file));
}

}  // namespace arena
