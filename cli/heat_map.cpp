#include "cli/heat_map.h"

#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QImageWriter>
#include <QPainter>
#include <QSaveFile>
#include <algorithm>
#include <cmath>

namespace {

// Blue for a sure loss, white for an even battle, red for a sure win.
QColor chanceColour(double chance) {
    const double t = std::clamp(chance, 0.0, 1.0);
    const QColor loss(33, 102, 172), even(247, 247, 247), win(178, 24, 43);
    const QColor& from = t < 0.5 ? loss : even;
    const QColor& to = t < 0.5 ? even : win;
    const double s = t < 0.5 ? t * 2.0 : (t - 0.5) * 2.0;
    auto mix = [s](int a, int b) { return static_cast<int>(std::lround(a + (b - a) * s)); };
    return QColor(mix(from.red(), to.red()), mix(from.green(), to.green()),
                  mix(from.blue(), to.blue()));
}

}  // namespace

QImage drawHeatMap(const std::vector<std::string>& labels, const std::vector<double>& oneWins) {
    const int n = static_cast<int>(labels.size());
    // Cells as large as a name can be read beside, up to about 900 pixels;
    // with many monsters only every step-th name fits.
    const int cell = std::clamp(900 / std::max(n, 1), 2, 14);
    QFont font("DejaVu Sans");
    font.setPixelSize(std::clamp(cell - 2, 9, 11));
    const QFontMetrics metrics(font);
    const int step = std::max(1, (metrics.height() + cell - 1) / cell);
    int labelWidth = 0;
    for (int i = 0; i < n; i += step)
        labelWidth =
            std::max(labelWidth, metrics.horizontalAdvance(QString::fromStdString(labels[i])));
    const int margin = 12, gap = 6;
    const int titleHeight = 2 * metrics.height() + gap;
    const int gridLeft = margin + labelWidth + gap;
    const int gridTop = margin + titleHeight + labelWidth + gap;
    const int grid = n * cell;
    const int legendLeft = gridLeft + grid + 3 * gap;
    const int legendWidth = 16;
    const int legendTextWidth = metrics.horizontalAdvance("100%");
    const int width = legendLeft + legendWidth + gap + legendTextWidth + margin;
    const int height = gridTop + std::max(grid, 10 * metrics.height()) + margin;

    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(margin, margin + metrics.ascent(),
                     "Chance that Monster One wins (exact odds after a fresh choice)");
    painter.drawText(margin, margin + metrics.height() + metrics.ascent(),
                     "Rows: Monster One. Columns: Monster Two.");

    for (int a = 0; a < n; ++a)
        for (int b = 0; b < n; ++b)
            painter.fillRect(gridLeft + b * cell, gridTop + a * cell, cell, cell,
                             chanceColour(oneWins[static_cast<std::size_t>(a) * n + b]));

    for (int i = 0; i < n; i += step) {
        const QString text = QString::fromStdString(labels[i]);
        const int middle = i * cell + cell / 2;
        // Row names right-aligned against the grid, column names read upwards.
        painter.drawText(
            QRect(margin, gridTop + middle - metrics.height() / 2, labelWidth, metrics.height()),
            Qt::AlignRight | Qt::AlignVCenter, text);
        painter.save();
        painter.translate(gridLeft + middle, gridTop - gap);
        painter.rotate(-90);
        painter.drawText(QRect(0, -metrics.height() / 2, labelWidth, metrics.height()),
                         Qt::AlignLeft | Qt::AlignVCenter, text);
        painter.restore();
    }

    // The legend: 100% at the top, 0% at the foot.
    const int legendHeight = std::max(grid, 10 * metrics.height());
    for (int y = 0; y < legendHeight; ++y)
        painter.fillRect(legendLeft, gridTop + y, legendWidth, 1,
                         chanceColour(1.0 - static_cast<double>(y) / (legendHeight - 1)));
    painter.drawRect(legendLeft, gridTop, legendWidth - 1, legendHeight - 1);
    for (int percent = 0; percent <= 100; percent += 25) {
        const int y = gridTop + (legendHeight - 1) * (100 - percent) / 100;
        painter.drawLine(legendLeft + legendWidth, y, legendLeft + legendWidth + 3, y);
        painter.drawText(QRect(legendLeft + legendWidth + gap, y - metrics.height() / 2,
                               legendTextWidth, metrics.height()),
                         Qt::AlignLeft | Qt::AlignVCenter, QString::number(percent) + "%");
    }
    painter.end();
    return image;
}

QString writeHeatMap(const QImage& image, const QString& file) {
    // Through a temporary file renamed at the end: a failed write leaves
    // whatever was there before, never half a picture.
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly)) return file + ": " + out.errorString();
    QByteArray format = QFileInfo(file).suffix().toLower().toLatin1();
    if (!QImageWriter::supportedImageFormats().contains(format)) format = "png";
    QImageWriter writer(&out, format);
    if (!writer.write(image)) {
        out.cancelWriting();
        return file + ": " + writer.errorString();
    }
    if (!out.commit()) return file + ": " + out.errorString();
    return {};
}
