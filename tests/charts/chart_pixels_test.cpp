// The shared charts by their pixels: a curve passes through its points, the
// target's answer is ringed, and a heat-map cell has its chance's colour, in
// a file-sized picture and in a smaller area of another device alike.

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <cmath>
#include <cstdlib>

#include "charts/heat_map.h"
#include "charts/sweep_chart.h"

using namespace karnwick;
using namespace karnwick::charts;

namespace {

// Monster One's chance rises straight from 0 at value 0 to 1 at value 100.
SweepChart straightSweep() {
    SweepChart chart = describedSweepChart({0, 5, "Grubnik", "Glubbora", 5, "hp", 0, 100, 1});
    for (int v = 0; v <= 100; ++v) {
        chart.values.push_back(static_cast<int16_t>(v));
        OutcomeOdds o;
        o.oneWins = v / 100.0;
        o.twoWins = 1.0 - o.oneWins;
        chart.odds.push_back(o);
    }
    return chart;
}

QColor pixel(const QImage& image, QPointF at) {
    return image.pixelColor(at.toPoint());
}

// Within the shading an antialiased 2-pixel line gets at its centre.
bool near(const QColor& a, const QColor& b) {
    return std::abs(a.red() - b.red()) < 40 && std::abs(a.green() - b.green()) < 40 &&
           std::abs(a.blue() - b.blue()) < 40;
}

bool isDark(const QColor& c) {
    return c.red() < 90 && c.green() < 90 && c.blue() < 90;
}

}  // namespace

TEST(ChartPixels, SweepCurvesPassThroughTheirPointsAndTheAnswerIsRinged) {
    SweepChart chart = straightSweep();
    EXPECT_EQ(chart.valueAxis, "Glubbora's hit points");
    const QImage plain = drawSweepChart(chart);
    const QRect file(QPoint(0, 0), plain.size());
    // A known point of each curve: 20 at 20% for Monster One, 80% for Two.
    EXPECT_TRUE(near(pixel(plain, sweepChartPoint(chart, file, 20, 0.2)), QColor(178, 24, 43)));
    EXPECT_TRUE(near(pixel(plain, sweepChartPoint(chart, file, 20, 0.8)), QColor(33, 102, 172)));
    EXPECT_EQ(pixel(plain, sweepChartPoint(chart, file, 20, 0.6)), QColor(Qt::white));

    // The ring around the answer to 33%: value 33 on Monster One's curve,
    // and no ring without a target.
    const QPointF answer = sweepChartPoint(chart, file, 33, 0.33);
    const QPointF onRing = answer + QPointF(-5, 0);
    EXPECT_FALSE(isDark(pixel(plain, onRing)));
    chart.target = 0.33;
    const QImage targeted = drawSweepChart(chart);
    EXPECT_TRUE(isDark(pixel(targeted, onRing))) << pixel(targeted, onRing).name().toStdString();
    EXPECT_FALSE(isDark(pixel(targeted, sweepChartPoint(chart, file, 40, 0.4) + QPointF(-5, 0))));

    // The same drawing in a smaller area away from the corner of a device.
    QImage window(500, 400, QImage::Format_RGB32);
    window.fill(Qt::gray);
    const QRect area(20, 30, 460, 340);
    {
        QPainter painter(&window);
        paintSweepChart(painter, area, chart);
    }
    EXPECT_TRUE(near(pixel(window, sweepChartPoint(chart, area, 70, 0.7)), QColor(178, 24, 43)));
    EXPECT_TRUE(isDark(pixel(window, sweepChartPoint(chart, area, 33, 0.33) + QPointF(-5, 0))));
    EXPECT_EQ(window.pixelColor(10, 10), QColor(Qt::gray));
}

TEST(ChartPixels, HeatMapCellsHaveTheirChancesColours) {
    const HeatMap map{{"0 Grubnik", "1 Pipsquall", "2 Blubbel"},
                      {0.5, 1.0, 0.0, 0.0, 0.5, 0.75, std::nan(""), 0.25, 0.5}};
    const QImage image = drawHeatMap(map);
    const QRect file(QPoint(0, 0), image.size());
    QImage window(300, 200, QImage::Format_RGB32);
    const QRect area(10, 10, 280, 180);
    {
        QPainter painter(&window);
        paintHeatMap(painter, area, map);
    }
    const struct {
        int row, column;
        QColor colour;
    } cells[] = {
        {0, 1, QColor(178, 24, 43)},    // a sure win
        {1, 0, QColor(33, 102, 172)},   // a sure loss
        {1, 1, QColor(247, 247, 247)},  // even
        {1, 2, QColor(213, 136, 145)},  // halfway from even to a win
        {2, 0, QColor(200, 200, 200)},  // not worked out yet
    };
    for (const auto& c : cells) {
        SCOPED_TRACE("row " + std::to_string(c.row) + ", column " + std::to_string(c.column));
        EXPECT_EQ(pixel(image, heatMapCell(map.labels, file, c.row, c.column).center()), c.colour);
        const QPointF centre = heatMapCell(map.labels, area, c.row, c.column).center();
        EXPECT_EQ(pixel(window, centre), c.colour);
        EXPECT_EQ(heatMapCellAt(map.labels, area, centre), std::pair(c.row, c.column));
    }
    EXPECT_EQ(heatMapCellAt(map.labels, area, QPointF(11, 11)), std::nullopt);
}

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
