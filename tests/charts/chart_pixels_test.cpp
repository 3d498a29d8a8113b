// The shared charts by their pixels: a curve passes through its points, the
// target's answer is ringed, and a heat-map cell has its chance's colour, in
// a file-sized picture and in a smaller area of another device alike.

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <cmath>
#include <cstdlib>
#include <set>

#include "charts/heat_map.h"
#include "charts/sweep_chart.h"
#include "data/record_fields.h"

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

// The colour of `image` where `chart` puts `value` at `chance`, drawn over
// `area` (the whole image unless given).
QColor pixel(const QImage& image, const SweepChart& chart, double value, double chance,
             QRect area = {}) {
    return pixel(image, sweepChartPoint(chart, area.isNull() ? image.rect() : area, value, chance));
}

// Within the shading an antialiased 2-pixel line gets at its centre.
bool near(const QColor& a, const QColor& b) {
    return std::abs(a.red() - b.red()) < 40 && std::abs(a.green() - b.green()) < 40 &&
           std::abs(a.blue() - b.blue()) < 40;
}

// A 2-pixel line whose centre falls between two rows shades both lighter:
// it passes through `at` when a pixel beside it or `at` itself has its colour.
bool lineNear(const QImage& image, QPointF at, const QColor& colour) {
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (near(pixel(image, at + QPointF(dx, dy)), colour)) return true;
    return false;
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
    EXPECT_TRUE(near(pixel(plain, chart, 20, 0.2), QColor(178, 24, 43)));
    EXPECT_TRUE(near(pixel(plain, chart, 20, 0.8), QColor(33, 102, 172)));
    EXPECT_EQ(pixel(plain, chart, 20, 0.6), QColor(Qt::white));

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
    EXPECT_TRUE(lineNear(window, sweepChartPoint(chart, area, 70, 0.7), QColor(178, 24, 43)));
    EXPECT_TRUE(isDark(pixel(window, sweepChartPoint(chart, area, 33, 0.33) + QPointF(-5, 0))));
    EXPECT_EQ(window.pixelColor(10, 10), QColor(Qt::gray));
}

// Each cell has its chance's colour edge to edge (cells of one colour in a
// row are filled as one), the legend runs from a sure win at the top to a
// sure loss at the foot, and a point just outside the grid is no cell.
TEST(ChartPixels, HeatMapCellsHaveTheirChancesColours) {
    const HeatMap map{{"0 Grubnik", "1 Pipsquall", "2 Blubbel"},
                      {0.5, 1.0, 1.0, 0.0, 0.5, 0.75, std::nan(""), 0.25, 1.5}};
    const QImage image = drawHeatMap(map);
    const QRect file(QPoint(0, 0), image.size());
    QImage window(300, 200, QImage::Format_RGB32);
    const QRect area(10, 10, 280, 180);
    {
        QPainter painter(&window);
        paintHeatMap(painter, area, map);
    }
    const QColor win(178, 24, 43), loss(33, 102, 172);
    const struct {
        int row, column;
        QColor colour;
    } cells[] = {
        {0, 1, win},                    // a sure win
        {0, 2, win},                    // the same, filled with the one before
        {1, 0, loss},                   // a sure loss
        {1, 1, QColor(247, 247, 247)},  // even
        {1, 2, QColor(213, 136, 145)},  // halfway from even to a win
        {2, 0, QColor(200, 200, 200)},  // not worked out yet
        {2, 1, QColor(140, 175, 210)},  // halfway from a loss to even
        {2, 2, win},                    // past a sure win
    };
    for (const auto& c : cells) {
        SCOPED_TRACE("row " + std::to_string(c.row) + ", column " + std::to_string(c.column));
        const QRectF inFile = heatMapCell(map.labels, file, c.row, c.column);
        for (const QPointF at :
             {inFile.center(), inFile.topLeft(), inFile.bottomRight() - QPointF(1, 1)})
            EXPECT_EQ(pixel(image, at), c.colour);
        const QPointF centre = heatMapCell(map.labels, area, c.row, c.column).center();
        EXPECT_EQ(pixel(window, centre), c.colour);
        EXPECT_EQ(heatMapCellAt(map.labels, area, centre), std::pair(c.row, c.column));
    }
    EXPECT_EQ(chanceColour(-0.25), loss);

    const QRectF last = heatMapCell(map.labels, file, 2, 2);
    const int legend = static_cast<int>(last.right()) + 18 + 8;
    EXPECT_TRUE(near(
        image.pixelColor(legend, static_cast<int>(heatMapCell(map.labels, file, 0, 0).top()) + 1),
        win));
    EXPECT_TRUE(near(image.pixelColor(legend, image.height() - 12 - 2), loss));

    const QRectF first = heatMapCell(map.labels, file, 0, 0);
    for (const QPointF outside :
         {first.topLeft() - QPointF(0.5, 0), first.topLeft() - QPointF(0, 0.5),
          last.bottomRight() + QPointF(0.5, -1), last.bottomRight() + QPointF(-1, 0.5)})
        EXPECT_EQ(heatMapCellAt(map.labels, file, outside), std::nullopt)
            << outside.x() << ", " << outside.y();
    EXPECT_EQ(heatMapCellAt(map.labels, file, last.bottomRight() - QPointF(0.5, 0.5)),
              std::pair(2, 2));
    EXPECT_EQ(heatMapCellAt(map.labels, area, QPointF(11, 11)), std::nullopt);
}

// What-if changes are named on the title's line, whole, and change nothing
// else of the map.
TEST(ChartPixels, HeatMapTitleNamesTheWhatIf) {
    HeatMap map{std::vector<std::string>(40, "7 Grubnik"), std::vector<double>(1600, 0.5)};
    const QImage files = drawHeatMap(map);
    map.whatIf = "What if: 5.hp=120";
    const QImage changed = drawHeatMap(map);
    ASSERT_EQ(files.size(), changed.size());
    QRect differs;
    for (int y = 0; y < files.height(); ++y)
        for (int x = 0; x < files.width(); ++x)
            if (files.pixel(x, y) != changed.pixel(x, y)) differs |= QRect(x, y, 1, 1);
    ASSERT_FALSE(differs.isEmpty());
    EXPECT_LT(differs.bottom(), heatMapCell(map.labels, files.rect(), 0, 0).top() / 2);
    EXPECT_GT(differs.left(), files.width() / 4);
    EXPECT_LT(differs.right(), files.width() - 12);
}

// The error and turn-cap curves appear, in their colours, only in a sweep
// where they leave 0; a single value is a dot; a sweep still being worked
// out shows the values whose odds are known.
TEST(ChartPixels, ErrorAndCapCurvesOnlyWhereTheyOccur) {
    SweepChart chart = straightSweep();
    const QColor error = outcomeColour("error"), cap = outcomeColour("turnCap");
    const QImage without = drawSweepChart(chart);
    EXPECT_TRUE(isDark(pixel(without, chart, 50, 0.0)));
    EXPECT_EQ(pixel(without, chart, 10, 0.3), QColor(Qt::white));

    for (OutcomeOdds& o : chart.odds) o.error = 0.3;
    for (int v = 80; v <= 100; ++v) chart.odds[static_cast<std::size_t>(v)].turnCap = 0.6;
    const QImage with = drawSweepChart(chart);
    EXPECT_TRUE(near(pixel(with, chart, 10, 0.3), error));
    EXPECT_TRUE(near(pixel(with, chart, 90, 0.6), cap));
    EXPECT_TRUE(near(pixel(with, chart, 40, 0.0), cap));

    SweepCurve partial;
    static_cast<SweptMatchUp&>(partial) = {0, 5, "Grubnik", "Glubbora", 0, "agility", 7, 9, 1};
    partial.values = {7, 8, 9};
    OutcomeOdds quarter;
    quarter.oneWins = 0.25, quarter.twoWins = 0.75;
    partial.odds = {quarter};
    const SweepChart single = sweepChartOf(partial);
    EXPECT_EQ(single.values, (std::vector<int16_t>{7}));
    const QImage dot = drawSweepChart(single);
    EXPECT_TRUE(near(pixel(dot, single, 7, 0.25), QColor(178, 24, 43)));
    EXPECT_TRUE(near(pixel(dot, single, 7, 0.75), QColor(33, 102, 172)));
    EXPECT_EQ(pixel(dot, single, 7.5, 0.3), QColor(Qt::white));
    // The value axis runs from one below to one above a single value, and
    // from the first value to the last otherwise: the plot's frame is there.
    for (const double edge : {6.0, 8.0}) EXPECT_TRUE(isDark(pixel(dot, single, edge, 0.6))) << edge;
    for (const double edge : {0.0, 100.0})
        EXPECT_TRUE(isDark(pixel(without, chart, edge, 0.6))) << edge;
    // The value axis of 0 to 100 is ticked every 10, and nowhere between.
    for (const double value : {10.0, 50.0, 90.0, 5.0, 45.0}) {
        const QPointF tick = sweepChartPoint(chart, without.rect(), value, 0.0) + QPointF(0, 2);
        EXPECT_EQ(isDark(pixel(without, tick)), std::fmod(value, 10.0) == 0.0) << value;
    }
}

// The value axis and the title name the swept number of the swept monster,
// each number of a record in words of its own, the spare ones by their
// number; a step of 1 goes unsaid.
TEST(ChartTexts, TheSweptFieldIsNamedSpareFieldsIncluded) {
    std::set<std::string> words;
    for (const RecordField& field : kRecordFields) {
        if (!field.number) continue;
        const std::string name(field.name);
        const std::string inWords = fieldInWords(name);
        EXPECT_TRUE(words.insert(inWords).second) << name << ": " << inWords;
        if (name.starts_with("spare")) {
            EXPECT_EQ(inWords, "spare number " + name.substr(5));
        }
        const SweepChart chart =
            describedSweepChart({3, 8, "Grubnik", "Glubbora", 8, name, -5, 20, 1});
        EXPECT_EQ(chart.valueAxis, "Glubbora's " + inWords);
        EXPECT_EQ(chart.title, "Chance of each end of the battle as monster 8 Glubbora's " + name +
                                   " goes from -5 to 20 (exact odds after a fresh choice)");
    }
    EXPECT_EQ(words.size(), 26u);
    EXPECT_EQ(fieldInWords("spare8"), "spare number 8");
    EXPECT_EQ(fieldInWords("sp1Threshold"), "special attack 1 threshold");
    const SweepChart stepped =
        describedSweepChart({3, 8, "Grubnik", "Glubbora", 3, "spare2", 0, 100, 5});
    EXPECT_EQ(stepped.valueAxis, "Grubnik's spare number 2");
    EXPECT_EQ(stepped.title,
              "Chance of each end of the battle as monster 3 Grubnik's spare2 goes "
              "from 0 to 100 by 5 (exact odds after a fresh choice)");
    EXPECT_EQ(stepped.subtitle, "Monster One: 3 Grubnik. Monster Two: 8 Glubbora.");
}

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
