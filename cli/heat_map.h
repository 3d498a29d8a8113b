#pragma once
// The heat map of `karnwick matrix --png`: Monster One's chance of winning
// for every pair, rows Monster One and columns Monster Two, with the names on
// both axes and a colour legend. Needs a QGuiApplication for its text.

#include <QImage>
#include <QString>
#include <string>
#include <vector>

// labels[i] names monster i; oneWins[a * n + b] is row a, column b.
QImage drawHeatMap(const std::vector<std::string>& labels, const std::vector<double>& oneWins);

// Writes the picture in the format its suffix names (PNG when it names none
// known); on a failure returns the reason, else an empty text.
QString writeHeatMap(const QImage& image, const QString& file);
