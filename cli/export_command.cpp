#include "cli/export_command.h"

#include <QGuiApplication>
#include <QImage>
#include <QPalette>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/image_file.h"
#include "cli/monster_names.h"
#include "data/errors.h"
#include "data/file_set.h"
#include "data/game_file.h"
#include "data/monster_stats.h"
#include "data/palette.h"
#include "data/preview_page.h"
#include "data/sprite.h"

namespace karnwick::cli {

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

// One picture to write: where (inside the set's folder for `export all`),
// its size before enlarging, and how to draw it.
struct Target {
    std::filesystem::path path;
    QSize size;
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

struct ExportRequest {
    QString what;                                 // sprite, sheet, palette or all
    QString argument;                             // N, P or DIR
    std::optional<std::filesystem::path> output;  // -o; "-" is standard output
    int scale = 1;
    Existing existing = Existing::Refuse;
};

// The request, or nothing when the help was asked for and written to `out`.
std::optional<ExportRequest> parseRequest(cli::CommandLine& line, const QStringList& arguments,
                                          std::ostream& out) {
    QCommandLineParser& parser = line.parser();
    const QCommandLineOption outputOption({"o", "output"},
                                          "Write to <file> (- for standard output).", "file");
    const QCommandLineOption scaleOption("scale", "Enlarge every pixel to k x k (default 1).", "k",
                                         "1");
    const QCommandLineOption forceOption("force", "Overwrite files that already exist.");
    parser.addOptions({outputOption, scaleOption, forceOption});
    line.addDirOption();
    if (!line.parse(arguments, out)) return std::nullopt;

    const QStringList positional = line.positionalArguments();
    ExportRequest request;
    request.what = positional.value(0);
    request.argument = positional.value(1);
    const QString& what = request.what;
    const bool needsArgument = what == "sprite" || what == "sheet" || what == "all";
    if (!needsArgument && what != "palette")
        throw cli::CommandError("expected sprite N, sheet 1|2|3, palette or all DIR (see --help)");
    if (positional.size() != (needsArgument ? 2 : 1))
        throw cli::CommandError("wrong number of arguments for export " + what.toStdString());
    if (what == "all" && line.isSet(outputOption))
        throw cli::CommandError("export all writes into its folder: -o does not apply");
    if (what == "all" && request.argument.isEmpty())
        throw cli::CommandError("the folder name is empty");
    if (what == "all" && request.argument == "-") {
        throw cli::CommandError(
            "export all writes a set of files into a folder: it cannot go to standard output (name "
            "a folder; ./- is a folder named -)");
    }
    if (line.isSet(outputOption)) {
        if (line.value(outputOption).isEmpty()) throw cli::CommandError("-o needs a file name");
        request.output = line.pathValue(outputOption);
        if (cli::isStandardOutputName(*request.output)) cli::requirePictureOutput();
    }
    request.scale = cli::countOption(line, scaleOption, 64).value_or(1);
    request.existing = line.isSet(forceOption) ? Existing::Replace : Existing::Refuse;
    return request;
}

struct GamePictures {
    std::filesystem::path spriteFile;
    std::filesystem::path statsFile;  // for monsters named rather than numbered
    Palette palette;
    int16_t last = -1;  // the last monster index; -1 for none
};

GamePictures loadGame(const std::filesystem::path& dir) {
    cli::requireGameFiles(dir, {kPaletteFileName, kSpriteFileName});
    GamePictures game;
    game.spriteFile = dir / kSpriteFileName;
    game.statsFile = dir / kStatsFileName;
    loadPalette(game.palette, dir / kPaletteFileName);
    makeColorFromRGB(game.palette);
    game.last = lastMonsterIndex(game.spriteFile);
    return game;
}

Target spriteTarget(std::filesystem::path path, const GamePictures& game, int16_t monster) {
    return {std::move(path), kSpriteSize, [&game, monster] {
                return spriteImage(GameFile(game.spriteFile), monster, game.palette);
            }};
}

Target sheetTarget(std::filesystem::path path, const GamePictures& game, int16_t page) {
    return {std::move(path), sheetSize(page),
            [&game, page] { return sheetImage(page, game.last, game.palette, game.spriteFile); }};
}

Target paletteTarget(std::filesystem::path path, const GamePictures& game) {
    return {std::move(path), kPaletteImageSize, [&game] { return paletteImage(game.palette); }};
}

// The one picture of `export sprite|sheet|palette`.
Target singleTarget(const ExportRequest& request, const GamePictures& game) {
    auto named = [&](const std::string& fallback) {
        return request.output ? *request.output : std::filesystem::path(fallback);
    };
    if (request.what == "palette") return paletteTarget(named("palette.png"), game);
    if (request.what == "sprite") {
        const auto index = static_cast<int16_t>(cli::resolveMonster(
            request.argument, {.lastIndex = game.last, .statsFile = game.statsFile}));
        return spriteTarget(named("sprite-" + std::to_string(index) + ".png"), game, index);
    }
    const auto sheet = cli::wholeNumber(request.argument, 1, 3);
    if (!sheet) {
        throw cli::CommandError("sheet \"" + request.argument.toStdString() +
                                "\" does not exist: the sheets are 1, 2 and 3");
    }
    const auto page = static_cast<int16_t>(*sheet);
    return sheetTarget(named("sheet-" + std::to_string(page) + ".png"), game, page);
}

// Every picture of `export all`, named inside its folder. Sprite numbers are
// zero-padded to the width of the largest, so the names sort in order.
std::vector<Target> allTargets(const GamePictures& game) {
    std::vector<Target> targets;
    const int width = static_cast<int>(std::to_string(std::max<int>(game.last, 0)).size());
    for (int m = 0; m <= game.last; ++m) {
        std::string number = std::to_string(m);
        number.insert(0, static_cast<std::size_t>(width) - number.size(), '0');
        targets.push_back(spriteTarget("sprite-" + number + ".png", game, static_cast<int16_t>(m)));
    }
    for (int16_t page = 1; page <= 3; ++page)
        targets.push_back(sheetTarget("sheet-" + std::to_string(page) + ".png", game, page));
    targets.push_back(paletteTarget("palette.png", game));
    return targets;
}

void checkSizes(const std::vector<Target>& targets, int scale) {
    for (const Target& target : targets) {
        const qint64 width = qint64{target.size.width()} * scale;
        const qint64 height = qint64{target.size.height()} * scale;
        if (width * height > kMostPixels) {
            throw cli::CommandError("--scale " + std::to_string(scale) + " would make " +
                                    cli::shownPath(target.path) + " " + std::to_string(width) +
                                    " x " + std::to_string(height) +
                                    " pixels; an image may have at most 64 megapixels");
        }
    }
}

// The files a command wrote, for its last line: the first three by name.
// "a.png", "a.png and b.png", "a.png, b.png, c.png and 11 more".
std::string namedFiles(const std::vector<Target>& targets) {
    constexpr std::size_t kNamed = 3;
    const std::size_t named = std::min(targets.size(), kNamed);
    std::string text;
    for (std::size_t i = 0; i < named; ++i) {
        if (i > 0) text += i + 1 == named && targets.size() <= kNamed ? " and " : ", ";
        text += cli::shownPath(targets[i].path);
    }
    if (targets.size() > kNamed)
        text += " and " + std::to_string(targets.size() - kNamed) + " more";
    return text;
}

std::string pictureBytes(const Target& target, int scale) {
    return cli::encodedImage(enlarged(target.draw(), scale));
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
        "              those default names (sprite numbers zero-padded), all or none");
    const auto request = parseRequest(line, arguments, out);
    if (!request) return cli::kExitSuccess;
    const GamePictures game = loadGame(line.gameDir());

    if (request->what != "all") {
        const Target target = singleTarget(*request, game);
        checkSizes({target}, request->scale);
        if (cli::isStandardOutputName(target.path)) {
            out << pictureBytes(target, request->scale);
            return cli::kExitSuccess;
        }
        checkWritable(target.path, request->existing);
        writeFileAtomically(target.path, pictureBytes(target, request->scale), request->existing);
        out << "Wrote " << namedFiles({target}) << "\n";
        return cli::kExitSuccess;
    }

    const std::filesystem::path folder = cli::pathFromArgument(request->argument);
    const std::vector<Target> targets = allTargets(game);
    checkSizes(targets, request->scale);
    std::vector<std::filesystem::path> names;
    for (const Target& target : targets) names.push_back(target.path);
    checkSetWritable(folder, names, request->existing);
    // All the pictures or none: each is written as it is drawn into a new
    // folder, which then takes the old one's place in one step, so an image
    // viewer never shows half an export.
    FileSet set(folder, request->existing, SetCommit::WholeFolder);
    for (const Target& target : targets) set.add(target.path, pictureBytes(target, request->scale));
    line.releaseGameDir();
    set.commit();
    out << "Wrote " << targets.size() << " images into " << cli::shownPath(folder) << ": "
        << namedFiles(targets) << "\n";
    return cli::kExitSuccess;
}

}  // namespace karnwick::cli
