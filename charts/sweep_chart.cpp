#include "charts/sweep_chart.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <map>

#include "battle/outcome_columns.h"
#include "battle/sweep.h"
#include "charts/chart_palette.h"

namespace karnwick::charts {

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

// A legend starts with a capital: "Run-time error".
QString capitalised(std::string_view phrase) {
    QString text = QString::fromUtf8(phrase.data(), static_cast<qsizetype>(phrase.size()));
    if (!text.isEmpty()) text[0] = text[0].toUpper();
    return text;
}

struct Curve {
    QString label;
    QColor colour;
    double OutcomeOdds::*chance;
};

// The win curves always; the error and cap curves only where they leave 0.
std::vector<Curve> shownCurves(const std::vector<OutcomeOdds>& odds) {
    auto curve = [](std::string_view key) {
        const OutcomeColumn& column = outcomeColumn(key);
        return Curve{capitalised(column.phrase), outcomeColour(key), column.value};
    };
    std::vector<Curve> curves = {curve("oneWins"), curve("twoWins")};
    for (const Curve& c : {curve("error"), curve("turnCap")}) {
        if (std::any_of(odds.begin(), odds.end(),
                        [&](const OutcomeOdds& o) { return o.*c.chance > 0.0; }))
            curves.push_back(c);
    }
    return curves;
}

const QString kTargetLabel = "Target";
const QString kAnswerLabel = "Closest to target";
const QString kChanceTitle = "chance";

QFont chartFont() {
    QFont font("DejaVu Sans");
    font.setPixelSize(11);
    return font;
}

// Where the headings, the plot and the legend go in an area of `size`, and
// the plot's scales. Around the plot: the chance axis and its title on the
// left, the values and their title below, the legend on the right.
struct Layout {
    static constexpr int margin = 12, gap = 6;
    static constexpr int swatch = 18;
    static constexpr int filePlotWidth = 760, filePlotHeight = 400;

    Layout(const QFontMetrics& fontMetrics, const SweepChart& chart,
           const std::vector<Curve>& curves, std::optional<QSize> size)
        : metrics(fontMetrics) {
        plotLeft = margin + metrics.height() + gap + metrics.horizontalAdvance("100%") + 2 * gap;
        // Three lines of headings, then room for the upper half of the "100%"
        // label, which is centred on the plot's top edge.
        plotTop = margin + 3 * metrics.height() + metrics.height() / 2;
        legendText = metrics.horizontalAdvance(kTargetLabel);
        if (chart.target)
            legendText = std::max(legendText, metrics.horizontalAdvance(kAnswerLabel));
        for (const Curve& c : curves)
            legendText = std::max(legendText, metrics.horizontalAdvance(c.label));
        const int besidePlot = plotLeft + 3 * gap + swatch + gap + legendText + margin;
        const int belowPlot = plotTop + 3 * metrics.height() + margin;
        plotWidth = size ? std::max(1, size->width() - besidePlot) : filePlotWidth;
        plotHeight = size ? std::max(1, size->height() - belowPlot) : filePlotHeight;
        legendLeft = plotLeft + plotWidth + 3 * gap;
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
    int plotLeft, plotTop, plotWidth = 0, plotHeight = 0, legendLeft = 0, legendText;
    double low, high;
};

// Chances up the side, every 25%, with faint lines across the plot, and the
// axis title read upwards beside them.
void drawChanceAxis(QPainter& painter, const Layout& at) {
    const QFontMetrics& metrics = at.metrics;
    const int labelsLeft = at.margin + metrics.height() + at.gap;
    for (int percent = 0; percent <= 100; percent += 25) {
        const int row = static_cast<int>(std::lround(at.y(percent / 100.0)));
        painter.setPen(gridColour());
        painter.drawLine(at.plotLeft, row, at.plotLeft + at.plotWidth, row);
        painter.setPen(Qt::black);
        painter.drawLine(at.plotLeft - 3, row, at.plotLeft, row);
        painter.drawText(QRect(labelsLeft, row - metrics.height() / 2,
                               at.plotLeft - labelsLeft - at.gap, metrics.height()),
                         Qt::AlignRight | Qt::AlignVCenter, QString::number(percent) + "%");
    }
    painter.save();
    painter.translate(at.margin, at.plotTop + at.plotHeight);
    painter.rotate(-90);
    painter.drawText(QRect(0, 0, at.plotHeight, metrics.height()), Qt::AlignCenter, kChanceTitle);
    painter.restore();
}

// Values along the foot, at round numbers, and the swept number in words under them.
void drawValueAxis(QPainter& painter, const Layout& at, const std::string& title) {
    const QFontMetrics& metrics = at.metrics;
    const double step = tickStep(at.high - at.low, std::clamp(at.plotWidth / 76, 2, 10));
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
        Qt::AlignCenter, QString::fromStdString(title));
}

// A dotted line up the plot at the record's value as it stands, labelled
// "now", so the curve reads against where the monster is today.
void drawCurrentValue(QPainter& painter, const Layout& at, const SweepChart& chart) {
    if (!chart.current || *chart.current < at.low || *chart.current > at.high) return;
    const double x = at.x(*chart.current);
    painter.setPen(QPen(currentValueColour(), 2, Qt::DotLine));
    painter.drawLine(QPointF(x, at.plotTop), QPointF(x, at.plotTop + at.plotHeight));
    painter.setPen(currentValueColour());
    painter.drawText(QPointF(x + 3, at.plotTop + at.metrics.ascent()),
                     "now " + QString::number(*chart.current));
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
            painter.setBrush(Qt::NoBrush);
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

constexpr double kAnswerRadius = 5.0;

// A ring on Monster One's curve at each value that answers the target; a
// run of neighbouring answers is one band along the curve, not a ring each.
void drawAnswers(QPainter& painter, const Layout& at, const SweepChart& chart) {
    if (!chart.target || chart.odds.empty()) return;
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 2));
    painter.setBrush(Qt::NoBrush);
    const std::vector<std::size_t> answers = closestToTarget(chart.odds, *chart.target);
    for (std::size_t i = 0; i < answers.size();) {
        std::size_t j = i;
        while (j + 1 < answers.size() && answers[j + 1] == answers[j] + 1) ++j;
        const QPointF first(at.x(chart.values[answers[i]]), at.y(chart.odds[answers[i]].oneWins));
        const QPointF last(at.x(chart.values[answers[j]]), at.y(chart.odds[answers[j]].oneWins));
        if (i == j)
            painter.drawEllipse(first, kAnswerRadius, kAnswerRadius);
        else
            painter.drawRoundedRect(
                QRectF(first, last)
                    .normalized()
                    .adjusted(-kAnswerRadius, -kAnswerRadius, kAnswerRadius, kAnswerRadius),
                kAnswerRadius, kAnswerRadius);
        i = j + 1;
    }
    painter.setRenderHint(QPainter::Antialiasing, false);
}

// The legend beside the plot, top down.
void drawLegend(QPainter& painter, const Layout& at, const std::vector<Curve>& curves,
                bool target) {
    const QFontMetrics& metrics = at.metrics;
    int row = at.plotTop;
    auto legendRow = [&](const QPen& pen, const QString& label, bool ring) {
        painter.setPen(pen);
        const int middle = row + metrics.height() / 2;
        if (ring) {
            painter.setRenderHint(QPainter::Antialiasing);
            painter.drawEllipse(QPointF(at.legendLeft + at.swatch / 2.0, middle), kAnswerRadius,
                                kAnswerRadius);
            painter.setRenderHint(QPainter::Antialiasing, false);
        } else {
            painter.drawLine(at.legendLeft, middle, at.legendLeft + at.swatch, middle);
        }
        painter.setPen(Qt::black);
        painter.drawText(
            QRect(at.legendLeft + at.swatch + at.gap, row, at.legendText, metrics.height()),
            Qt::AlignLeft | Qt::AlignVCenter, label);
        row += metrics.height() + at.gap;
    };
    for (const Curve& c : curves) legendRow(QPen(c.colour, 2), c.label, false);
    if (target) {
        legendRow(QPen(Qt::black, 1, Qt::DashLine), kTargetLabel, false);
        legendRow(QPen(Qt::black, 2), kAnswerLabel, true);
    }
}

}  // namespace

std::string fieldInWords(const std::string& field) {
    static const std::map<std::string, std::string> words = {
        {"hp", "hit points"},
        {"level", "level"},
        {"agility", "agility"},
        {"strength", "strength"},
        {"sp1Threshold", "special attack 1 threshold"},
        {"sp2Threshold", "special attack 2 threshold"},
        {"offMin", "least normal damage"},
        {"offMax", "normal damage limit"},
        {"sp1Min", "least special attack 1 damage"},
        {"sp1Max", "special attack 1 damage limit"},
        {"sp2Min", "least special attack 2 damage"},
        {"sp2Max", "special attack 2 damage limit"},
        {"defense", "defense"},
        {"mpower", "magic power"},
        {"magicFlag", "magic flag"},
    };
    const auto found = words.find(field);
    if (found != words.end()) return found->second;
    if (field.starts_with("spare")) return "spare number " + field.substr(5);
    return field;
}

SweepChart describedSweepChart(const SweptMatchUp& m) {
    const std::string& sweptName = m.swept == m.one ? m.oneName : m.twoName;
    SweepChart chart;
    chart.title =
        "Chance of each end of the battle as monster " + monsterLabel(m.swept, sweptName) + "'s " +
        m.field + " goes from " + std::to_string(m.from) + " to " + std::to_string(m.to) +
        (m.step > 1 ? " by " + std::to_string(m.step) : "") + " (exact odds after a fresh choice)";
    chart.subtitle = std::string(sideName(0)) + ": " + monsterLabel(m.one, m.oneName) + ". " +
                     std::string(sideName(1)) + ": " + monsterLabel(m.two, m.twoName) + ".";
    chart.valueAxis = sweptName + "'s " + fieldInWords(m.field);
    chart.field = m.field;
    return chart;
}

QSize sweepChartSize(const SweepChart& chart) {
    const QFont font = chartFont();
    const Layout at(QFontMetrics(font), chart, shownCurves(chart.odds), std::nullopt);
    return {at.width(), at.height()};
}

void paintSweepChart(QPainter& painter, const QRect& area, const SweepChart& chart) {
    const QFont font = chartFont();
    const QFontMetrics metrics(font);
    const std::vector<Curve> curves = shownCurves(chart.odds);
    const Layout at(metrics, chart, curves, area.size());
    painter.save();
    painter.translate(area.topLeft());
    painter.fillRect(QRect(QPoint(0, 0), area.size()), Qt::white);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(at.margin, at.margin + metrics.ascent(), QString::fromStdString(chart.title));
    // Who fights whom, with the what-if changes; then the target's answer.
    const std::string matchUp =
        chart.whatIf.empty() ? chart.subtitle : chart.subtitle + "   " + chart.whatIf;
    painter.drawText(at.margin, at.margin + metrics.height() + metrics.ascent(),
                     QString::fromStdString(matchUp));
    if (chart.target)
        painter.drawText(at.margin, at.margin + 2 * metrics.height() + metrics.ascent(),
                         QString::fromStdString(
                             targetAnswer(*chart.target, chart.field, chart.values, chart.odds)));
    drawChanceAxis(painter, at);
    drawValueAxis(painter, at, chart.valueAxis);
    painter.setPen(Qt::black);
    painter.drawRect(at.plotLeft, at.plotTop, at.plotWidth, at.plotHeight);
    drawCurrentValue(painter, at, chart);
    drawCurves(painter, at, chart, curves);
    drawAnswers(painter, at, chart);
    drawLegend(painter, at, curves, chart.target.has_value());
    painter.restore();
}

QPointF sweepChartPoint(const SweepChart& chart, const QRect& area, double value, double chance) {
    const Layout at(QFontMetrics(chartFont()), chart, shownCurves(chart.odds), area.size());
    return QPointF(area.topLeft()) + QPointF(at.x(value), at.y(chance));
}

std::optional<std::size_t> sweepChartValueAt(const SweepChart& chart, const QRect& area,
                                             QPointF point) {
    if (chart.values.empty()) return std::nullopt;
    const Layout at(QFontMetrics(chartFont()), chart, shownCurves(chart.odds), area.size());
    const QPointF in = point - QPointF(area.topLeft());
    if (in.x() < at.plotLeft || in.x() > at.plotLeft + at.plotWidth || in.y() < at.plotTop ||
        in.y() > at.plotTop + at.plotHeight)
        return std::nullopt;
    const double value = at.low + (in.x() - at.plotLeft) / at.plotWidth * (at.high - at.low);
    const auto nearest = std::min_element(
        chart.values.begin(), chart.values.end(),
        [&](int16_t a, int16_t b) { return std::abs(a - value) < std::abs(b - value); });
    return static_cast<std::size_t>(nearest - chart.values.begin());
}

QImage drawSweepChart(const SweepChart& chart) {
    const QSize size = sweepChartSize(chart);
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    paintSweepChart(painter, QRect(QPoint(0, 0), size), chart);
    painter.end();
    return image;
}

SweepChart sweepChartOf(const SweepCurve& curve) {
    SweepChart chart = describedSweepChart(curve);
    chart.values = curve.values;
    chart.values.resize(std::min(curve.values.size(), curve.odds.size()));
    chart.odds = curve.odds;
    chart.target = curve.target;
    return chart;
}

}  // namespace karnwick::charts
