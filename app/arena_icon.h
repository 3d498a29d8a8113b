#pragma once
// The arena's icon and the id the window system groups its windows by.

#include <QIcon>

class QWidget;

namespace arena {

// One id for the desktop entry, the icon, the software-centre data and the
// window system's grouping of the arena's windows.
inline constexpr auto kApplicationId = "io.github.karnwick.Arena";

// The program's icon: the game's 15 x 16 image and larger renderings, each
// read when the window system first asks for its size.
QIcon arenaIcon();

// Gives the application its icon once `window` has been painted for the first
// time. On X11 a window that shows hands the window system every rendering of
// the icon, the 256-pixel one included, which would hold back the arena's
// first paint by milliseconds; given later, the icon reaches the window a
// moment after it appears. A dialog that comes first calls giveArenaIcon.
void giveArenaIconAfterFirstPaint(QWidget& window);
// Gives the application its icon unless it has one.
void giveArenaIcon();

}  // namespace arena
