#include "cli/pictures.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImageWriter>

#include "charts/heat_map.h"
#include "charts/sweep_chart.h"
#include "cli/commands.h"
#include "cli/export_command.h"
#include "cli/image_file.h"
#include "cli/import_sprite_command.h"

namespace karnwick::cli {

namespace {

std::unique_ptr<QCoreApplication> startApplication(int& argc, char** argv) {
    // Pictures are drawn but no window is ever shown: no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    return std::make_unique<QGuiApplication>(argc, argv);
}

// The charts draw text, which needs the fonts of a QGuiApplication.
void requireGraphics() {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        throw CommandError("cannot draw: Qt's graphics were not started");
}

std::string sweepChartPng(const SweepChartRequest& request) {
    requireGraphics();
    const charts::SweepChart chart = charts::sweepChartOf(request);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(charts::drawSweepChart(chart)))
        throw CommandError("cannot draw the chart: " + writer.errorString().toStdString());
    return bytes.toStdString();
}

std::string heatMapImage(const std::vector<std::string>& labels, std::vector<double> oneWins,
                         const std::filesystem::path& file) {
    requireGraphics();
    return encodedImage(charts::drawHeatMap({labels, std::move(oneWins)}),
                        imageFormatFor(file).constData());
}

}  // namespace

const Pictures& linkedPictures() {
    static const Pictures table{startApplication, runExportCommand,           importSprite,
                                sweepChartPng,    charts::requireHeatMapFits, heatMapImage};
    return table;
}

}  // namespace karnwick::cli
