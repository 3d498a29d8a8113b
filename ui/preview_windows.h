#pragma once
// The three sprite sheets: monsters 0-24, monsters 25-49 and the bosses from
// 50. Each is an independent top-level window holding one picture box, made on
// the first click of its button and again after the user closed it.

#include <QPointer>
#include <QWidget>
#include <array>
#include <cstdint>
#include <filesystem>

#include "data/palette.h"

class PictureBox;

class PreviewWindows {
  public:
    PreviewWindows() = default;
    ~PreviewWindows();
    PreviewWindows(const PreviewWindows&) = delete;
    PreviewWindows& operator=(const PreviewWindows&) = delete;

    // Page 1, 2 or 3: creates the window hidden if it does not exist, clears
    // its picture box, draws the page from `spriteFile` (monster.dat) and
    // shows it, raised above the others when it was open already. A read
    // error, or a page that does not exist, is thrown as karnwick::GameError
    // before the window is shown.
    void showPage(int16_t page, const karnwick::Palette& palette, int16_t lastMonsterIndex,
                  const std::filesystem::path& spriteFile);

    // The page's window, or nullptr when it does not exist (never made, or
    // closed by the user).
    QWidget* window(int16_t page) const;
    PictureBox* pictureBox(int16_t page) const;

    // Draws every open page again (the game files were read again), without
    // bringing the windows to the front. Throws karnwick::GameError as showPage.
    void redrawOpenPages(const karnwick::Palette& palette, int16_t lastMonsterIndex,
                         const std::filesystem::path& spriteFile);

    // Closes and destroys every open preview window.
    void closeAll();

  private:
    std::array<QPointer<QWidget>, 3> m_windows;
};
