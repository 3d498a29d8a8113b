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

// A folder as the player reads it in a message.
QString shownFolder(const std::filesystem::path& folder);
