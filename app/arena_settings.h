#pragma once
// The arena's settings: the last game folder where it started, kept in
// ~/.config/karnwick/karnwick-arena.conf.

#include <QString>
#include <filesystem>
#include <memory>

class QSettings;

namespace arena {

class ArenaSettings {
  public:
    // The player's settings file, in the user's configuration folder.
    static std::filesystem::path playerFile();

    // The settings kept in `file`. A file that exists but is no regular file
    // (a FIFO, a folder, a device) would hang or break the start-up when read:
    // it is left alone, with a warning on stderr, and nothing is remembered.
    explicit ArenaSettings(const std::filesystem::path& file);
    ~ArenaSettings();
    ArenaSettings(const ArenaSettings&) = delete;
    ArenaSettings& operator=(const ArenaSettings&) = delete;

    // False when the file was left alone.
    bool isInUse() const { return m_settings != nullptr; }

    // The folder kept as the last where start-up succeeded; empty when none.
    std::filesystem::path rememberedFolder() const;
    void rememberFolder(const std::filesystem::path& folder);

  private:
    std::unique_ptr<QSettings> m_settings;
};

// The settings key of the last folder where start-up succeeded.
inline constexpr auto kLastFolderKey = "lastGameFolder";

// The warning for a settings file that is no regular file.
QString settingsIgnoredText(const std::filesystem::path& file);

}  // namespace arena
