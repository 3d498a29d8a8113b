#pragma once
// The game folder as the windows handle it: chosen through the folder dialog,
// shown in messages, and kept as the bytes the system uses, so a folder whose
// name is not valid UTF-8 still opens.

#include <QString>
#include <filesystem>
#include <optional>

class QWidget;

// The folder dialog "Open Game Folder", starting in `start`; nothing when the
// player cancels.
std::optional<std::filesystem::path> pickGameFolder(QWidget* parent,
                                                    const std::filesystem::path& start);

// `folder` as the system names it (absolute, links resolved), the game folder
// the windows read from. Throws karnwick::GameError naming the folder when it
// does not exist or is no folder.
std::filesystem::path resolveGameFolder(const std::filesystem::path& folder);

// A folder as the player reads it in a message.
QString shownFolder(const std::filesystem::path& folder);

// A path Qt gives as text (a file dialog's choice, a standard location): its
// bytes as they are on Linux, where a name need not be UTF-8; its UTF-16 on
// Windows, where the system's names are.
std::filesystem::path pathFromText(const QString& text);
