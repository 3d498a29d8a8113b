#include "cli/sweep_chart.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

using karnwick::OutcomeOdds;

namespace {

// A tick spacing of 1, 2 or 5 times a power of ten that puts at most `most`
// ticks over `span`.
double tickStep(double span, int most) {
    const double rough = std::max(span, 1.0) / most;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (const double factor : {1.0, 2.0, 5.0})
        if (factor * power >= rough) return std::max(1.0, factor * power);
    return std::max(1.0, 10.0 * power);
}

struct Curve {
    const char* label;
    QColor colour;
    double OutcomeOdds::*chance;
};

}  // namespace

QImage drawSweepChart(const SweepChart& chart) {
    QFont font("DejaVu Sans");
    font.setPixelSize(11);
    const QFontMetrics metrics(font);
    const int margin = 12, gap = 6;
    const int plotWidth = 760, plotHeight = 400;
    const int plotLeft = margin + metrics.horizontalAdvance("100%") + 2 * gap;
    const int plotTop = margin + 3 * metrics.height();
    const int legendLeft = plotLeft + plotWidth + 3 * gap;
    const int swatch = 18;

    // The win curves always; the error and cap curves only where they leave 0.
    std::vector<Curve> curves = {{"Monster One wins", QColor(178, 24, 43), &OutcomeOdds::oneWins},
                                 {"Monster Two wins", QColor(33, 102, 172), &OutcomeOdds::twoWins}};
    for (const Curve& c : {Curve{"Run-time error", QColor(230, 145, 30), &OutcomeOdds::error},
                           Curve{"667-turn cap", QColor(90, 160, 90), &OutcomeOdds::turnCap}}) {
        if (std::any_of(chart.odds.begin(), chart.odds.end(),
                        [&](const OutcomeOdds& o) { return o.*c.chance > 0.0; }))
            curves.push_back(c);
    }
    int legendText = metrics.horizontalAdvance("Target");
    for (const Curve& c : curves)
        legendText = std::max(legendText, metrics.horizontalAdvance(c.label));
    const int width = legendLeft + swatch + gap + legendText + margin;
    const int height = plotTop + plotHeight + 3 * metrics.height() + margin;

    const double first = chart.values.empty() ? 0 : chart.values.front();
    const double last = chart.values.empty() ? 0 : chart.values.back();
    // A single value sits in the middle of the axis.
    const double low = first < last ? first : first - 1, high = first < last ? last : last + 1;
    auto x = [&](double value) { return plotLeft + (value - low) / (high - low) * plotWidth; };
    auto y = [&](double chance) { return plotTop + (1.0 - chance) * plotHeight; };

    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(margin, margin + metrics.ascent(), QString::fromStdString(chart.title));
    painter.drawText(margin, margin + metrics.height() + metrics.ascent(),
                     QString::fromStdString(chart.subtitle));

    // Chances up the side, every 25%, with faint lines across the plot.
    for (int percent = 0; percent <= 100; percent += 25) {
        const int row = static_cast<int>(std::lround(y(percent / 100.0)));
        painter.setPen(QColor(225, 225, 225));
        painter.drawLine(plotLeft, row, plotLeft + plotWidth, row);
        painter.setPen(Qt::black);
        painter.drawLine(plotLeft - 3, row, plotLeft, row);
        painter.drawText(
            QRect(margin, row - metrics.height() / 2, plotLeft - margin - gap, metrics.height()),
            Qt::AlignRight | Qt::AlignVCenter, QString::number(percent) + "%");
    }
    // Values along the foot, at round numbers.
    const double step = tickStep(high - low, 10);
    const int foot = plotTop + plotHeight;
    for (double v = std::ceil(low / step) * step; v <= high; v += step) {
        const int column = static_cast<int>(std::lround(x(v)));
        painter.drawLine(column, foot, column, foot + 3);
        const QString text = QString::number(static_cast<long long>(v));
        const int w = metrics.horizontalAdvance(text);
        painter.drawText(QRect(column - w / 2 - 1, foot + 4, w + 2, metrics.height()),
                         Qt::AlignCenter, text);
    }
    painter.drawText(QRect(plotLeft, foot + 4 + metrics.height(), plotWidth, metrics.height()),
                     Qt::AlignCenter, QString::fromStdString(chart.axis));
    painter.drawRect(plotLeft, plotTop, plotWidth, plotHeight);

    painter.setRenderHint(QPainter::Antialiasing);
    if (chart.target) {
        painter.setPen(QPen(Qt::black, 1, Qt::DashLine));
        painter.drawLine(QPointF(plotLeft, y(*chart.target)),
                         QPointF(plotLeft + plotWidth, y(*chart.target)));
    }
    for (const Curve& c : curves) {
        painter.setPen(QPen(c.colour, 2));
        if (chart.values.size() == 1) {
            painter.setBrush(c.colour);
            painter.drawEllipse(QPointF(x(first), y(chart.odds[0].*c.chance)), 3, 3);
            continue;
        }
        QPainterPath path;
        for (std::size_t i = 0; i < chart.values.size(); ++i) {
            const QPointF point(x(chart.values[i]), y(chart.odds[i].*c.chance));
            if (i == 0)
                path.moveTo(point);
            else
                path.lineTo(point);
        }
        painter.drawPath(path);
    }
    painter.setRenderHint(QPainter::Antialiasing, false);

    // The legend beside the plot, top down.
    int row = plotTop;
    auto legendRow = [&](const QPen& pen, const char* label) {
        painter.setPen(pen);
        const int middle = row + metrics.height() / 2;
        painter.drawLine(legendLeft, middle, legendLeft + swatch, middle);
        painter.setPen(Qt::black);
        painter.drawText(QRect(legendLeft + swatch + gap, row, legendText, metrics.height()),
                         Qt::AlignLeft | Qt::AlignVCenter, label);
        row += metrics.height() + gap;
    };
    for (const Curve& c : curves) legendRow(QPen(c.colour, 2), c.label);
    if (chart.target) legendRow(QPen(Qt::black, 1, Qt::DashLine), "Target");
    painter.end();
    return image;
}
