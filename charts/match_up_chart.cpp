#include "charts/match_up_chart.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

#include "battle/outcome_columns.h"
#include "charts/chart_palette.h"

namespace karnwick::charts {

namespace {

QString chanceText(double chance) {
    return QString::fromStdString(percentText(chance));
}

// Bars of `chances` (value, chance) in `area`, under a heading; wide ranges
// are gathered into at most `most` bars.
struct Histogram {
    QString heading;
    QString what;  // a bar's value in words: "turn", "Thornhog's hit points"
    QColor colour;
    int most;  // bars at most
    QString footnote;
};

void paintDistribution(QPainter& painter, const QRectF& area, const Histogram& histogram,
                       const std::vector<std::pair<int, double>>& chances,
                       std::vector<ChartSpot>* spots) {
    const QString& heading = histogram.heading;
    const QString& footnote = histogram.footnote;
    const int most = histogram.most;
    const QColor& colour = histogram.colour;
    painter.setPen(Qt::black);
    painter.drawText(QRectF(area.left(), area.top(), area.width(), 18), Qt::AlignLeft, heading);
    const double foot = footnote.isEmpty() ? 0 : 16;
    painter.drawText(QRectF(area.left(), area.bottom() - foot, area.width(), foot), Qt::AlignLeft,
                     footnote);
    // Room on the left for the chance scale.
    const QRectF plot = area.adjusted(52, 20, 0, -16 - foot);
    if (chances.empty() || plot.height() <= 0) return;
    const int low = chances.front().first, high = chances.back().first;
    const int width = std::max(1, (high - low + most) / most);
    std::vector<double> bars(static_cast<std::size_t>((high - low) / width + 1), 0.0);
    for (const auto& [value, chance] : chances)
        bars[static_cast<std::size_t>((value - low) / width)] += chance;
    const double peak = *std::max_element(bars.begin(), bars.end());
    const double barWidth = plot.width() / static_cast<double>(bars.size());
    for (std::size_t i = 0; i < bars.size(); ++i) {
        const double h = peak > 0 ? bars[i] / peak * plot.height() : 0;
        const double left = plot.left() + static_cast<double>(i) * barWidth;
        painter.fillRect(QRectF(left, plot.bottom() - h, std::max(1.0, barWidth - 1), h), colour);
        if (!spots) continue;
        const int first = low + static_cast<int>(i) * width;
        const int last = std::min(high, first + width - 1);
        const QString values =
            first == last ? QString::number(first) : QStringLiteral("%1-%2").arg(first).arg(last);
        spots->push_back({QRectF(left, plot.top(), barWidth, plot.height()),
                          histogram.what + " " + values + ": " + chanceText(bars[i])});
    }
    painter.setPen(Qt::black);
    painter.drawLine(plot.bottomLeft(), plot.bottomRight());
    painter.drawLine(plot.bottomLeft(), plot.topLeft());
    // The scale: the tallest bar's chance at the top, none at the foot.
    for (const auto& [y, chance] : {std::pair{plot.top(), peak}, std::pair{plot.bottom(), 0.0}}) {
        painter.drawLine(QPointF(plot.left() - 3, y), QPointF(plot.left(), y));
        painter.drawText(QRectF(area.left(), y - 8, 48, 16), Qt::AlignRight | Qt::AlignVCenter,
                         chanceText(chance));
    }
    const int middle = low + (high - low) / 2;
    for (const int value : {low, middle, high}) {
        const double x =
            plot.left() + (static_cast<double>((value - low) / width) + 0.5) * barWidth;
        painter.drawLine(QPointF(x, plot.bottom()), QPointF(x, plot.bottom() + 3));
        painter.drawText(QRectF(x - 30, plot.bottom() + 2, 60, 14), Qt::AlignCenter,
                         QString::number(value));
    }
}

}  // namespace

namespace {

// The move of a chance from the files' odds, in percentage points: "+12.4 pts".
QString pointsText(double now, double before) {
    const double points = std::round(1000.0 * (now - before)) / 10.0;
    if (points == 0.0) return QStringLiteral("0.0 pts");
    return QString::asprintf("%+.1f pts", points);
}

// One bar a way the battle can end, with its chance; with the files' odds,
// a tick at their chance and the move from it. Returns the height used.
double paintOutcomeBars(QPainter& painter, const QRectF& all, double top,
                        const MatchUpChart& picture) {
    const BattleOdds& odds = *picture.odds;
    const double labelWidth = std::min(260.0, all.width() * 0.4);
    const double barLeft = all.left() + labelWidth + 6;
    const double moveWidth = picture.before ? 70 : 0;
    const double barWidth = std::max(10.0, all.right() - 70 - moveWidth - barLeft);
    double y = top;
    for (const OutcomeColumn& column : kOutcomeColumns) {
        if (!column.isChance) continue;
        const double row = y;
        y += 22;
        const double chance = odds.*column.value;
        painter.setPen(Qt::black);
        painter.drawText(
            QRectF(all.left(), row, labelWidth, 18), Qt::AlignLeft | Qt::AlignVCenter,
            QString::fromStdString(outcomeLine(column, picture.names[0], picture.names[1])));
        painter.fillRect(QRectF(barLeft, row + 2, barWidth, 14), barTrackColour());
        painter.fillRect(QRectF(barLeft, row + 2, barWidth * std::clamp(chance, 0.0, 1.0), 14),
                         outcomeColour(column.key));
        painter.drawText(QRectF(barLeft + barWidth + 4, row, 66, 18),
                         Qt::AlignRight | Qt::AlignVCenter, chanceText(chance));
        if (!picture.before) continue;
        const double before = (*picture.before).*column.value;
        const double x = barLeft + barWidth * std::clamp(before, 0.0, 1.0);
        painter.fillRect(QRectF(x - 1, row, 2, 18), Qt::black);
        painter.drawText(QRectF(barLeft + barWidth + 70, row, moveWidth, 18),
                         Qt::AlignRight | Qt::AlignVCenter, pointsText(chance, before));
    }
    return y - top;
}

// How long the battle lasts, and each side's hit points at its end.
void paintDistributions(QPainter& painter, const QRectF& all, double top,
                        const MatchUpChart& picture, std::vector<ChartSpot>* spots) {
    const BattleOdds& odds = *picture.odds;
    if (odds.error >= 1.0 - 1e-12) {
        painter.setPen(Qt::black);
        painter.drawText(QRectF(all.left(), top + 6, all.width(), all.bottom() - top - 6),
                         Qt::AlignCenter,
                         QStringLiteral("Every battle stops with a run-time error: no turns or hit "
                                        "points to show."));
        return;
    }
    std::vector<std::pair<int, double>> turns;
    for (int t = 1; t <= kMaxTurns; ++t)
        if (odds.turns[static_cast<std::size_t>(t - 1)] > 0)
            turns.emplace_back(t, odds.turns[static_cast<std::size_t>(t - 1)]);
    const double rest = all.bottom() - top - 6;
    const QRectF turnArea(all.left(), top + 6, all.width(), rest / 2 - 6);
    paintDistribution(
        painter, turnArea,
        {"Turns the battle lasts (mean " + QString::number(odds.meanTurns, 'f', 2) + ")",
         QStringLiteral("turn"),
         turnsColour(),
         80,
         {}},
        turns, spots);
    const double half = (all.width() - 20) / 2;
    for (int side = 0; side < 2; ++side) {
        const QRectF hpArea(all.left() + side * (half + 20), turnArea.bottom() + 8, half,
                            rest / 2 - 8);
        const QString name = QString::fromStdString(picture.names[side]);
        paintDistribution(
            painter, hpArea,
            {name + "'s hit points at the end", name + "'s hit points", sideColour(side), 60,
             QString::fromStdString(hitPointsSummary(picture.hpLeft[side]))},
            picture.hpLeft[side], spots);
    }
}

}  // namespace

std::string hitPointsSummary(const HitPointChances& left) {
    if (left.empty()) return {};
    double mean = 0, below = 0;
    std::optional<int> median;
    for (const auto& [hitPoints, chance] : left) {
        mean += hitPoints * chance;
        below += chance;
        if (!median && below >= 0.5) median = hitPoints;
    }
    char text[128];
    std::snprintf(text, sizeof text, "mean %.2f, median %d, lowest %d, highest %d", mean,
                  median.value_or(left.front().first), left.front().first, left.back().first);
    return text;
}

void paintMatchUpChart(QPainter& painter, const QRect& area, const MatchUpChart& picture,
                       std::vector<ChartSpot>* spots) {
    painter.fillRect(area, Qt::white);
    painter.setPen(Qt::black);
    const QRectF all = QRectF(area).adjusted(10, 8, -10, -8);
    painter.drawText(QRectF(all.left(), all.top(), all.width(), 20), Qt::AlignLeft,
                     QString::fromStdString(picture.title));
    const double whatIfHeight = picture.whatIf.empty() ? 0 : 20;
    painter.drawText(QRectF(all.left(), all.top() + 20, all.width(), 20), Qt::AlignLeft,
                     QString::fromStdString(picture.whatIf));
    if (!picture.odds) {
        painter.drawText(all, Qt::AlignCenter, QStringLiteral("Choose two monsters in the arena."));
        return;
    }
    const double top = all.top() + 28 + whatIfHeight;
    paintDistributions(painter, all, top + paintOutcomeBars(painter, all, top, picture), picture,
                       spots);
}

QImage drawMatchUpChart(const MatchUpChart& picture) {
    QImage image(760, 520, QImage::Format_RGB32);
    QPainter painter(&image);
    paintMatchUpChart(painter, image.rect(), picture);
    return image;
}

}  // namespace karnwick::charts
