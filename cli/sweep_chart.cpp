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

// The win curves always; the error and cap curves only where they leave 0.
std::vector<Curve> shownCurves(const std::vector<OutcomeOdds>& odds) {
    std::vector<Curve> curves = {{"Monster One wins", QColor(178, 24, 43), &OutcomeOdds::oneWins},
                                 {"Monster Two wins", QColor(33, 102, 172), &OutcomeOdds::twoWins}};
    for (const Curve& c : {Curve{"Run-time error", QColor(230, 145, 30), &OutcomeOdds::error},
                           Curve{"667-turn cap", QColor(90, 160, 90), &OutcomeOdds::turnCap}}) {
        if (std::any_of(odds.begin(), odds.end(),
                        [&](const OutcomeOdds& o) { return o.*c.chance > 0.0; }))
            curves.push_back(c);
    }
    return curves;
}

// Where the headings, the plot and the legend go, and the plot's scales.
struct Layout {
    static constexpr int margin = 12, gap = 6;
    static constexpr int plotWidth = 760, plotHeight = 400;
    static constexpr int swatch = 18;

    Layout(const QFontMetrics& fontMetrics, const SweepChart& chart,
           const std::vector<Curve>& curves)
        : metrics(fontMetrics) {
        plotLeft = margin + metrics.horizontalAdvance("100%") + 2 * gap;
        plotTop = margin + 3 * metrics.height();
        legendLeft = plotLeft + plotWidth + 3 * gap;
        legendText = metrics.horizontalAdvance("Target");
        for (const Curve& c : curves)
            legendText = std::max(legendText, metrics.horizontalAdvance(c.label));
        const double first = chart.values.empty() ? 0 : chart.values.front();
        const double last = chart.values.empty() ? 0 : chart.values.back();
        // A single value sits in the middle of the axis.
        low = first < last ? first : first - 1;
        high = first < last ? last : last + 1;
    }

    int width() const { return legendLeft + swatch + gap + legendText + margin; }
    int height() const { return plotTop + plotHeight + 3 * metrics.height() + margin; }
    double x(double value) const { return plotLeft + (value - low) / (high - low) * plotWidth; }
    double y(double chance) const { return plotTop + (1.0 - chance) * plotHeight; }

    QFontMetrics metrics;
    int plotLeft, plotTop, legendLeft, legendText;
    double low, high;
};

// Chances up the side, every 25%, with faint lines across the plot.
void drawChanceAxis(QPainter& painter, const Layout& at) {
    const QFontMetrics& metrics = at.metrics;
    for (int percent = 0; percent <= 100; percent += 25) {
        const int row = static_cast<int>(std::lround(at.y(percent / 100.0)));
        painter.setPen(QColor(225, 225, 225));
        painter.drawLine(at.plotLeft, row, at.plotLeft + at.plotWidth, row);
        painter.setPen(Qt::black);
        painter.drawLine(at.plotLeft - 3, row, at.plotLeft, row);
        painter.drawText(QRect(at.margin, row - metrics.height() / 2,
                               at.plotLeft - at.margin - at.gap, metrics.height()),
                         Qt::AlignRight | Qt::AlignVCenter, QString::number(percent) + "%");
    }
}

// Values along the foot, at round numbers, and the swept value's name under them.
void drawValueAxis(QPainter& painter, const Layout& at, const std::string& axis) {
    const QFontMetrics& metrics = at.metrics;
    const double step = tickStep(at.high - at.low, 10);
    const int foot = at.plotTop + at.plotHeight;
    for (double v = std::ceil(at.low / step) * step; v <= at.high; v += step) {
        const int column = static_cast<int>(std::lround(at.x(v)));
        painter.drawLine(column, foot, column, foot + 3);
        const QString text = QString::number(static_cast<long long>(v));
        const int w = metrics.horizontalAdvance(text);
        painter.drawText(QRect(column - w / 2 - 1, foot + 4, w + 2, metrics.height()),
                         Qt::AlignCenter, text);
    }
    painter.drawText(
        QRect(at.plotLeft, foot + 4 + metrics.height(), at.plotWidth, metrics.height()),
        Qt::AlignCenter, QString::fromStdString(axis));
}

// The target line under the curves; a single value is a dot on each curve.
void drawCurves(QPainter& painter, const Layout& at, const SweepChart& chart,
                const std::vector<Curve>& curves) {
    painter.setRenderHint(QPainter::Antialiasing);
    if (chart.target) {
        painter.setPen(QPen(Qt::black, 1, Qt::DashLine));
        painter.drawLine(QPointF(at.plotLeft, at.y(*chart.target)),
                         QPointF(at.plotLeft + at.plotWidth, at.y(*chart.target)));
    }
    for (const Curve& c : curves) {
        painter.setPen(QPen(c.colour, 2));
        if (chart.values.size() == 1) {
            painter.setBrush(c.colour);
            painter.drawEllipse(QPointF(at.x(chart.values.front()), at.y(chart.odds[0].*c.chance)),
                                3, 3);
            continue;
        }
        QPainterPath path;
        for (std::size_t i = 0; i < chart.values.size(); ++i) {
            const QPointF point(at.x(chart.values[i]), at.y(chart.odds[i].*c.chance));
            if (i == 0)
                path.moveTo(point);
            else
                path.lineTo(point);
        }
        painter.drawPath(path);
    }
    painter.setRenderHint(QPainter::Antialiasing, false);
}

// The legend beside the plot, top down.
void drawLegend(QPainter& painter, const Layout& at, const std::vector<Curve>& curves,
                bool target) {
    const QFontMetrics& metrics = at.metrics;
    int row = at.plotTop;
    auto legendRow = [&](const QPen& pen, const char* label) {
        painter.setPen(pen);
        const int middle = row + metrics.height() / 2;
        painter.drawLine(at.legendLeft, middle, at.legendLeft + at.swatch, middle);
        painter.setPen(Qt::black);
        painter.drawText(
            QRect(at.legendLeft + at.swatch + at.gap, row, at.legendText, metrics.height()),
            Qt::AlignLeft | Qt::AlignVCenter, label);
        row += metrics.height() + at.gap;
    };
    for (const Curve& c : curves) legendRow(QPen(c.colour, 2), c.label);
    if (target) legendRow(QPen(Qt::black, 1, Qt::DashLine), "Target");
}

}  // namespace

QImage drawSweepChart(const SweepChart& chart) {
    QFont font("DejaVu Sans");
    font.setPixelSize(11);
    const QFontMetrics metrics(font);
    const std::vector<Curve> curves = shownCurves(chart.odds);
    const Layout at(metrics, chart, curves);

    QImage image(at.width(), at.height(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(at.margin, at.margin + metrics.ascent(), QString::fromStdString(chart.title));
    painter.drawText(at.margin, at.margin + metrics.height() + metrics.ascent(),
                     QString::fromStdString(chart.subtitle));
    drawChanceAxis(painter, at);
    drawValueAxis(painter, at, chart.axis);
    painter.drawRect(at.plotLeft, at.plotTop, at.plotWidth, at.plotHeight);
    drawCurves(painter, at, chart, curves);
    drawLegend(painter, at, curves, chart.target.has_value());
    painter.end();
    return image;
}
