#include "cli/export_command.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QPalette>
#include <QSaveFile>
#include <functional>
#include <vector>

#include "data/errors.h"
#include "data/game_file.h"
#include "data/palette.h"
#include "data/preview_page.h"
#include "data/sprite.h"
#include "cli/command_line.h"

using namespace karnwick;

namespace {

constexpr int kSwatchSize = 16;

// A preview page's picture box as an image: the same pixel scale and
// clipping, the same background (the platform's button-face colour), so the
// same drawing code gives the same pixels.
class SheetSurface : public DrawingSurface {
  public:
    explicit SheetSurface(QImage& image)
        : m_image(image), m_background(QGuiApplication::palette().color(QPalette::Button).rgb()) {}
    void clear() override { m_image.fill(m_background); }
    void setPoint(float x, float y, int32_t packedColor) override {
        if (!(x >= 0.0f && y >= 0.0f && x < float(m_image.width()) && y < float(m_image.height())))
            return;
        reinterpret_cast<QRgb*>(m_image.scanLine(static_cast<int>(y)))[static_cast<int>(x)] =
            packedToArgb(packedColor);
    }

  private:
    QImage& m_image;
    QRgb m_background;
};

// The game palette as a colour table; index 0 transparent when `clearZero`.
QList<QRgb> colourTable(const Palette& palette, bool clearZero) {
    QList<QRgb> table(kPaletteEntries);
    for (int i = 0; i < kPaletteEntries; ++i)
        table[i] = packedToArgb(packedColor(palette, static_cast<unsigned char>(i)));
    if (clearZero) table[0] &= 0x00FFFFFFu;
    return table;
}

QImage spriteImage(const GameFile& sprites, int16_t monster, const Palette& palette) {
    std::array<unsigned char, kSpriteBytes> bytes;
    sprites.readAt(static_cast<std::int64_t>(monster) * kSpriteBytes, bytes);
    QImage image(kSpriteWidth, kSpriteHeight, QImage::Format_Indexed8);
    image.setColorTable(colourTable(palette, true));
    for (int r = 0; r < kSpriteHeight; ++r)
        std::copy_n(bytes.data() + r * kSpriteWidth, kSpriteWidth, image.scanLine(r));
    return image;
}

QImage sheetImage(int16_t page, int16_t lastMonster, const Palette& palette,
                  const std::filesystem::path& spriteFile) {
    const PreviewArea area = previewArea(page);
    QImage image(area.width, area.height, QImage::Format_RGB32);
    SheetSurface surface(image);
    surface.clear();
    drawPreviewPage(page, lastMonster, palette, surface, spriteFile);
    return image;
}

QImage paletteImage(const Palette& palette) {
    QImage image(16 * kSwatchSize, 16 * kSwatchSize, QImage::Format_Indexed8);
    image.setColorTable(colourTable(palette, false));
    for (int y = 0; y < image.height(); ++y) {
        uchar* line = image.scanLine(y);
        for (int x = 0; x < image.width(); ++x)
            line[x] = static_cast<uchar>(16 * (y / kSwatchSize) + x / kSwatchSize);
    }
    return image;
}

// Every pixel becomes a k x k block; an indexed image keeps its indexes.
QImage enlarged(const QImage& image, int k) {
    if (k == 1) return image;
    QImage big(image.width() * k, image.height() * k, image.format());
    if (image.format() == QImage::Format_Indexed8) big.setColorTable(image.colorTable());
    const int bytes = image.depth() / 8;
    for (int y = 0; y < big.height(); ++y) {
        const uchar* from = image.constScanLine(y / k);
        uchar* to = big.scanLine(y);
        for (int x = 0; x < big.width(); ++x)
            std::copy_n(from + (x / k) * bytes, bytes, to + x * bytes);
    }
    return big;
}

struct Target {
    QString path;
    QSize size;  // before enlarging
    std::function<QImage()> draw;
};

// An enlarged image is held whole while it is written: 64 megapixels at the
// most (256 MB), so a large --scale on a sheet cannot exhaust the memory.
constexpr qint64 kMostPixels = qint64{1} << 26;

const QSize kSpriteSize(kSpriteWidth, kSpriteHeight);
const QSize kPaletteImageSize(16 * kSwatchSize, 16 * kSwatchSize);

QSize sheetSize(int16_t page) {
    const PreviewArea area = previewArea(page);
    return QSize(area.width, area.height);
}

}  // namespace

int runExportCommand(const QStringList& arguments, std::ostream& out, std::ostream&) {
    cli::CommandLine line(
        "export", "sprite N | sheet 1|2|3 | palette | all DIR",
        "Writes the game's pictures as PNG images:\n"
        "  sprite N    monster N's 90 x 100 sprite, indexed with the game palette,\n"
        "              index 0 transparent (default file sprite-N.png)\n"
        "  sheet P     preview page P (1, 2 or 3) as the arena's preview window draws\n"
        "              it (default file sheet-P.png)\n"
        "  palette     the 256 colours as a 16 x 16 grid (default file palette.png)\n"
        "  all DIR     every sprite, the three sheets and the palette into DIR, under\n"
        "              those default names");
    QCommandLineParser& parser = line.parser();
    const QCommandLineOption outputOption({"o", "output"}, "Write to <file>.", "file");
    const QCommandLineOption scaleOption("scale", "Enlarge every pixel to k x k (default 1).", "k",
                                         "1");
    const QCommandLineOption forceOption("force", "Overwrite files that already exist.");
    parser.addOptions({outputOption, scaleOption, forceOption});
    line.addDirOption();
    if (!line.parse(arguments, out)) return cli::kExitSuccess;

    const QStringList positional = line.positionalArguments();
    const QString what = positional.value(0);
    const bool needsArgument = what == "sprite" || what == "sheet" || what == "all";
    if (!needsArgument && what != "palette")
        throw cli::CommandError("expected sprite N, sheet 1|2|3, palette or all DIR (see --help)");
    if (positional.size() != (needsArgument ? 2 : 1))
        throw cli::CommandError("wrong number of arguments for export " + what.toStdString());
    if (what == "all" && line.isSet(outputOption))
        throw cli::CommandError("export all writes into its folder: -o does not apply");
    const auto scale = cli::wholeNumber(line.value(scaleOption), 1, 64);
    if (!scale) {
        throw cli::CommandError("--scale takes a whole number from 1 to 64, not \"" +
                                  line.value(scaleOption).toStdString() + "\"");
    }

    const std::filesystem::path dir = line.gameDir();
    cli::requireGameFiles(dir, {kPaletteFileName, kSpriteFileName});
    const std::filesystem::path spritePath = dir / kSpriteFileName;
    Palette palette;
    int16_t last;
    try {
        loadPalette(palette, dir / kPaletteFileName);
        makeColorFromRGB(palette);
        last = countMonsters(spritePath);
    } catch (const GameError& e) {
        throw cli::CommandError(e.what());
    }

    std::vector<Target> targets;
    auto named = [&](const QString& fallback) {
        return line.isSet(outputOption) ? line.value(outputOption) : fallback;
    };
    const QString argument = positional.value(1);
    if (what == "sprite" || what == "sheet") {
        const bool sprite = what == "sprite";
        const auto n = cli::wholeNumber(argument, sprite ? 0 : 1, sprite ? last : 3);
        if (!n) {
            throw cli::CommandError(sprite ? "monster \"" + argument.toStdString() +
                                               "\" is not a monster index: the valid range is 0.." +
                                               std::to_string(last)
                                         : "sheet \"" + argument.toStdString() +
                                               "\" does not exist: the sheets are 1, 2 and 3");
        }
        const auto index = static_cast<int16_t>(*n);
        if (sprite) {
            targets.push_back({named(QString("sprite-%1.png").arg(index)), kSpriteSize, [&, index] {
                                   return spriteImage(GameFile(spritePath), index, palette);
                               }});
        } else {
            targets.push_back(
                {named(QString("sheet-%1.png").arg(index)), sheetSize(index),
                 [&, index] { return sheetImage(index, last, palette, spritePath); }});
        }
    } else if (what == "palette") {
        targets.push_back(
            {named("palette.png"), kPaletteImageSize, [&] { return paletteImage(palette); }});
    } else {
        const QDir folder(argument);
        if (!QDir().mkpath(folder.path()))
            throw cli::CommandError("cannot create the folder " + argument.toStdString());
        for (int16_t m = 0; m <= last; ++m) {
            targets.push_back({folder.filePath(QString("sprite-%1.png").arg(m)), kSpriteSize,
                               [&, m] { return spriteImage(GameFile(spritePath), m, palette); }});
        }
        for (int16_t page = 1; page <= 3; ++page) {
            targets.push_back({folder.filePath(QString("sheet-%1.png").arg(page)), sheetSize(page),
                               [&, page] { return sheetImage(page, last, palette, spritePath); }});
        }
        targets.push_back({folder.filePath("palette.png"), kPaletteImageSize,
                           [&] { return paletteImage(palette); }});
    }

    for (const Target& target : targets) {
        const qint64 width = qint64{target.size.width()} * *scale;
        const qint64 height = qint64{target.size.height()} * *scale;
        if (width * height > kMostPixels) {
            throw cli::CommandError("--scale " + std::to_string(*scale) + " would make " +
                                      target.path.toStdString() + " " + std::to_string(width) +
                                      " x " + std::to_string(height) +
                                      " pixels; an image may have at most 64 megapixels");
        }
    }

    // Nothing is written while any target is in the way; a link counts as a
    // file even when it leads nowhere.
    if (!line.isSet(forceOption)) {
        for (const Target& target : targets) {
            std::error_code error;
            const auto status = std::filesystem::symlink_status(target.path.toStdString(), error);
            if (std::filesystem::exists(status)) {
                throw cli::CommandError(target.path.toStdString() +
                                          " already exists; use --force to overwrite it");
            }
        }
    }
    for (const Target& target : targets) {
        QImage image;
        try {
            image = enlarged(target.draw(), static_cast<int>(*scale));
        } catch (const GameError& e) {
            throw cli::CommandError(e.what());
        }
        // QSaveFile writes beside the target and renames it into place once
        // the image is complete.
        QSaveFile file(target.path);
        QImageWriter writer(&file, "png");
        if (!file.open(QIODevice::WriteOnly) || !writer.write(image) || !file.commit()) {
            const QString reason = writer.error() != QImageWriter::UnknownError
                                       ? writer.errorString()
                                       : file.errorString();
            throw cli::CommandError("cannot write " + target.path.toStdString() + ": " + reason.toStdString());
        }
    }
    out << "Wrote " << targets.size() << (targets.size() == 1 ? " image" : " images") << "\n";
    return cli::kExitSuccess;
}
