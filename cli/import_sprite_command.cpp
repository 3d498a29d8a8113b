#include "cli/import_sprite_command.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli/command_input.h"
#include "cli/command_line.h"
#include "cli/game_edit.h"
#include "data/errors.h"
#include "data/file_writer.h"
#include "data/monster_stats.h"
#include "data/palette.h"
#include "data/sprite.h"

namespace karnwick::cli {

namespace {

constexpr int kPixelsNamed = 5;

using SpriteBytes = std::array<unsigned char, kSpriteBytes>;

QString colourName(QRgb rgb) {
    return QString("#%1").arg(rgb & 0xFFFFFFu, 6, 16, QChar('0')).toUpper();
}

using PaletteTable = std::array<QRgb, kPaletteEntries>;

PaletteTable paletteTable(const Palette& palette) {
    PaletteTable table;
    for (int i = 0; i < kPaletteEntries; ++i)
        table[std::size_t(i)] =
            packedToArgb(packedColor(palette, static_cast<unsigned char>(i))) & 0xFFFFFFu;
    return table;
}

// What `export sprite` writes, or an editor kept: the indexes are the
// palette's, taken as they are. Nothing for an image with any other table.
std::optional<SpriteBytes> spriteByIndex(const QImage& image, const PaletteTable& table) {
    if (image.format() != QImage::Format_Indexed8) return std::nullopt;
    const QList<QRgb> colours = image.colorTable();
    bool same = colours.size() <= kPaletteEntries;
    for (qsizetype i = 0; same && i < colours.size(); ++i)
        same = (colours[i] & 0xFFFFFFu) == table[std::size_t(i)];
    if (!same) return std::nullopt;
    SpriteBytes sprite{};
    for (int y = 0; y < kSpriteHeight; ++y)
        std::copy_n(image.constScanLine(y), kSpriteWidth, sprite.data() + y * kSpriteWidth);
    return sprite;
}

// Straight-line distance in red, green and blue; a tie goes to the lower
// index; index 0, being transparent, is never taken.
unsigned char nearestIndex(const PaletteTable& table, QRgb rgb) {
    unsigned char index = 0;
    long best = -1;
    for (int i = 1; i < kPaletteEntries; ++i) {
        const QRgb c = table[std::size_t(i)];
        const long dr = qRed(c) - qRed(rgb), dg = qGreen(c) - qGreen(rgb),
                   db = qBlue(c) - qBlue(rgb);
        const long d = dr * dr + dg * dg + db * db;
        if (best < 0 || d < best) best = d, index = static_cast<unsigned char>(i);
    }
    return index;
}

struct StrayPixels {
    int count = 0;
    std::vector<std::string> named;  // the first kPixelsNamed, for the refusal
};

// Any other picture, colour by colour: the lowest index showing it, index
// 0 (transparent) only for a colour no drawn index has. A colour the palette
// lacks is a stray: named, or with NEAREST given its nearest index.
SpriteBytes spriteByColour(const QImage& image, const PaletteTable& table, bool nearest,
                           StrayPixels& strays) {
    std::map<QRgb, unsigned char> exact;
    for (int i = kPaletteEntries - 1; i >= 1; --i)
        exact[table[std::size_t(i)]] = static_cast<unsigned char>(i);
    exact.try_emplace(table[0], 0);
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    SpriteBytes sprite{};
    for (int y = 0; y < kSpriteHeight; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < kSpriteWidth; ++x) {
            unsigned char& index = sprite[std::size_t(y * kSpriteWidth + x)];
            if (qAlpha(line[x]) == 0) continue;
            const QRgb rgb = line[x] & 0xFFFFFFu;
            if (const auto found = exact.find(rgb); found != exact.end()) {
                index = found->second;
                continue;
            }
            ++strays.count;
            if (nearest)
                index = nearestIndex(table, rgb);
            else if (strays.named.size() < kPixelsNamed)
                strays.named.push_back(std::string("(")
                                           .append(std::to_string(x))
                                           .append(", ")
                                           .append(std::to_string(y))
                                           .append(") ")
                                           .append(colourName(rgb).toStdString()));
        }
    }
    return sprite;
}

// The sprite the image shows, in palette indexes.
SpriteBytes spriteOf(const QImage& image, const Palette& palette, bool nearest,
                     const std::string& name, std::ostream& out) {
    const PaletteTable table = paletteTable(palette);
    if (auto sprite = spriteByIndex(image, table)) return *sprite;

    StrayPixels strays;
    const SpriteBytes sprite = spriteByColour(image, table, nearest, strays);
    const int strayCount = strays.count;
    if (strayCount > 0 && !nearest) {
        std::string named;
        for (const std::string& s : strays.named) named += (named.empty() ? "" : ", ") + s;
        throw CommandError(name + ": " + std::to_string(strayCount) +
                                (strayCount == 1 ? " pixel has a colour" : " pixels have colours") +
                                " not in the game palette: " + named +
                                (strayCount > kPixelsNamed ? ", ..." : "") +
                                " (--nearest takes the nearest palette colour)");
    }
    if (strayCount > 0) {
        out << strayCount << (strayCount == 1 ? " pixel" : " pixels")
            << " not in the game palette took the nearest palette colour (straight-line "
               "distance in red, green and blue)\n";
    }
    return sprite;
}

[[noreturn]] void wrongSize(const std::string& name, QSize size) {
    throw CommandError(name + " is " + std::to_string(size.width()) + " x " +
                            std::to_string(size.height()) + " pixels; a sprite is 90 x 100");
}

// The image of FILE, or of standard input for "-". Its size is checked before
// it is decoded, so a huge picture is refused without being unpacked.
QImage readImage(const QString& name, const std::string& shownName) {
    const std::string bytes = readWholeInput(name);
    QByteArray data(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (size.isValid() && size != QSize(kSpriteWidth, kSpriteHeight)) wrongSize(shownName, size);
    const QImage image = reader.read();
    if (image.isNull()) {
        throw CommandError(shownName + ": not an image this tool can read (" +
                                reader.errorString().toStdString() + ")");
    }
    if (image.size() != QSize(kSpriteWidth, kSpriteHeight)) wrongSize(shownName, image.size());
    return image;
}

void refuseSpriteIndex(long long requested, long long count) {
    if (requested <= count) return;
    throw CommandError("monster " + std::to_string(requested) +
                            " has no sprite: monster.dat holds " + std::to_string(count) + " (0.." +
                            std::to_string(count - 1) + ", and " + std::to_string(count) +
                            " appends one)");
}

// Puts SPRITE at index REQUESTED of FILE, which the caller holds locked;
// the sprites are counted again here, from the file that is opened.
int writeSprite(const std::filesystem::path& file, long long requested, const SpriteBytes& sprite,
                std::ostream& out) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        throw GameError(ErrorKind::FileAccess, kSpriteFileName,
                        std::string("(") + std::strerror(errno) + ")");
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        throw GameError(ErrorKind::FileAccess, kSpriteFileName,
                        std::string("(") + std::strerror(errno) + ")");
    }
    if (!S_ISREG(status.st_mode)) throw GameError(ErrorKind::NotRegularFile, kSpriteFileName);
    const auto count = static_cast<long long>(status.st_size / kSpriteBytes);
    refuseSpriteIndex(requested, count);
    const off_t at = static_cast<off_t>(requested) * kSpriteBytes;
    if (requested < count) {
        SpriteBytes old{};
        if (::pread(fd, old.data(), old.size(), at) == static_cast<ssize_t>(old.size()) &&
            old == sprite) {
            out << "monster.dat: sprite " << requested
                << " unchanged (the image shows it as it is)\n";
            return kExitSuccess;
        }
    }
    AtomicFile replacement(file, Existing::Replace);
    replacement.setMode(static_cast<unsigned>(status.st_mode));
    replacement.copySparse(fd);
    replacement.writeAt(at, sprite);
    replacement.commit();
    out << "monster.dat: sprite " << requested << (requested == count ? " appended" : " replaced")
        << "\n";
    return kExitSuccess;
}

}  // namespace

int importSprite(const QString& monster, const QString& imageName, bool nearest,
                 const std::filesystem::path& dir, std::ostream& out) {
    const auto requested = wholeNumber(monster, 0, kLastSpriteIndex);
    if (!requested) {
        throw CommandError("monster \"" + monster.toStdString() +
                                "\" is not a monster index from 0 to " +
                                std::to_string(kLastSpriteIndex));
    }
    requireGameFiles(dir, {kPaletteFileName});
    requireOwnGameFile(dir, kSpriteFileName);
    Palette palette;
    loadPalette(palette, dir / kPaletteFileName);
    makeColorFromRGB(palette);

    // A wrong index is named before the image is looked at; the count is
    // taken again under the lock.
    refuseSpriteIndex(*requested, lastMonsterIndex(dir / kSpriteFileName) + 1);

    const std::string shownName = inputName(imageName);
    const QImage image = readImage(imageName, shownName);
    const SpriteBytes sprite = spriteOf(image, palette, nearest, shownName, out);

    const GameFolderLock lock(dir);
    return writeSprite(dir / kSpriteFileName, *requested, sprite, out);
}

}  // namespace karnwick::cli
