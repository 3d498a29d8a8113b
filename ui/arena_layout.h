#pragma once
// The arena window's look: every box, label, button and line at its place in
// twips, with its caption, font and colours, and the tab stops in the game's
// order. The main window builds it once and wires its actions to it.

#include <QString>
#include <array>
#include <string_view>

#include "battle/panel_fields.h"

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QWidget;
class PictureBox;

// The window's caption, and the title of its message boxes.
inline constexpr auto kArenaCaption = "Karnwick Battle Arena";
// A monster list's text while no monster is chosen.
inline constexpr auto kPickMonster = "Pick Monster";

// The widgets the window's actions read and write, each by side where the
// panels have one on either side.
struct ArenaLayout {
    std::array<PictureBox*, 2> spriteBoxes{};
    std::array<QComboBox*, 2> monsterLists{};
    // One row of the statistics per panel field, in kPanelFields order.
    std::array<std::array<QLineEdit*, 2>, karnwick::kPanelFields.size()> statBoxes{};
    std::array<QLineEdit*, 2> currentHpBoxes{};
    QPlainTextEdit* arenaLog = nullptr;
    QPushButton* fightButton = nullptr;
    QPushButton* exitButton = nullptr;
    // cmdPreview1, cmdPreview2, cmdPreview3: pages 1 to 3.
    std::array<QPushButton*, 3> previewButtons{};

    // The box of a field the panel shows (battle/panel_fields.h), as "hp".
    QLineEdit* statBox(std::string_view field, int side) const;
};

// Names, titles and sizes `window` and builds its widgets into it, the first
// tab stop focused; nothing is connected to an action yet.
ArenaLayout buildArenaLayout(QWidget& window);
