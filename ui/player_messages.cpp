#include "ui/player_messages.h"

#include <QGuiApplication>
#include <cstdio>

bool canAskThePlayer() {
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

void printToStderr(const QString& message) {
    std::fputs(qPrintable(message), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}
