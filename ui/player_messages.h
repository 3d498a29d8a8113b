#pragma once
// How the arena's words reach the player: a message box where someone can
// answer it, stderr always for what start-up could not do.

#include <QString>

// False on the offscreen and minimal platforms, where a message box would wait
// for an answer no one can give.
bool canAskThePlayer();

// The message and a newline on stderr, flushed at once.
void printToStderr(const QString& message);
