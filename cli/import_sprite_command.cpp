#include "cli/import_sprite_command.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <numeric>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/command_input.h"
#include "cli/command_line.h"
#include "cli/edit_history.h"
#include "cli/game_edit.h"
#include "cli/import_command.h"
#include "cli/monster_names.h"
#include "cli/standard_output.h"
#include "data/errors.h"
#include "data/file_writer.h"
#include "data/monster_stats.h"
#include "data/palette.h"
#include "data/sprite.h"
#include "data/system_calls.h"

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

// A sprite read colour by colour, and the pixels whose colour the palette lacks.
struct ColourMatch {
    SpriteBytes sprite{};
    int strays = 0;
    std::vector<std::string> named;  // the first kPixelsNamed strays, for the refusal
};

// Any other picture, colour by colour: the lowest index showing it, index
// 0 (transparent) only for a colour no drawn index has. A colour the palette
// lacks is a stray: named, or with NEAREST given its nearest index.
ColourMatch spriteByColour(const QImage& image, const PaletteTable& table, bool nearest) {
    std::map<QRgb, unsigned char> exact;
    for (int i = kPaletteEntries - 1; i >= 1; --i)
        exact[table[std::size_t(i)]] = static_cast<unsigned char>(i);
    exact.try_emplace(table[0], 0);
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    ColourMatch match;
    for (int y = 0; y < kSpriteHeight; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < kSpriteWidth; ++x) {
            unsigned char& index = match.sprite[std::size_t(y * kSpriteWidth + x)];
            if (qAlpha(line[x]) == 0) continue;
            const QRgb rgb = line[x] & 0xFFFFFFu;
            if (const auto found = exact.find(rgb); found != exact.end()) {
                index = found->second;
                continue;
            }
            ++match.strays;
            if (nearest)
                index = nearestIndex(table, rgb);
            else if (match.named.size() < kPixelsNamed)
                match.named.push_back(std::string("(")
                                          .append(std::to_string(x))
                                          .append(", ")
                                          .append(std::to_string(y))
                                          .append(") ")
                                          .append(colourName(rgb).toStdString()));
        }
    }
    return match;
}

// The sprite the image shows, in palette indexes.
SpriteBytes spriteOf(const QImage& image, const Palette& palette, bool nearest,
                     const std::string& name, std::ostream& out) {
    const PaletteTable table = paletteTable(palette);
    if (auto sprite = spriteByIndex(image, table)) return *sprite;

    const ColourMatch match = spriteByColour(image, table, nearest);
    const int strayCount = match.strays;
    if (strayCount > 0 && !nearest) {
        std::string named;
        for (const std::string& s : match.named) named += (named.empty() ? "" : ", ") + s;
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
    return match.sprite;
}

[[noreturn]] void wrongSize(const std::string& name, QSize size) {
    throw CommandError(name + " is " + std::to_string(size.width()) + " x " +
                       std::to_string(size.height()) + " pixels; a sprite is 90 x 100");
}

// Where an indexed PNG's palette lies in its bytes: the decoder turns a pixel
// whose index is past the palette into index 0, so the palette is measured
// from the chunks themselves, before any pixel is decoded.
struct PngPalette {
    std::size_t chunkAt = 0;  // the PLTE chunk's length field
    std::size_t entries = 0;
    int bitDepth = 0;
};

std::uint32_t bigEndian32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

void appendBigEndian32(std::string& bytes, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.push_back(static_cast<char>((value >> shift) & 0xFFu));
}

// The PNG chunk checksum (CRC-32, reflected, polynomial 0xEDB88320).
std::uint32_t pngCrc(std::string_view data) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char c : data) {
        crc ^= static_cast<unsigned char>(c);
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return crc ^ 0xFFFFFFFFu;
}

// The palette of an indexed PNG with fewer entries than its bit depth can
// point at; nothing for any other file, or one too damaged to walk (the
// decoder then says what is wrong with it).
std::optional<PngPalette> shortPngPalette(const std::string& bytes) {
    static constexpr std::string_view kSignature("\x89PNG\r\n\x1a\n", 8);
    if (!std::string_view(bytes).starts_with(kSignature)) return std::nullopt;
    int bitDepth = 0, colourType = -1;
    for (std::size_t at = kSignature.size(); bytes.size() - at >= 12;) {
        const std::uint32_t length = bigEndian32(bytes, at);
        if (length > bytes.size() - at - 12) return std::nullopt;
        const std::string_view type = std::string_view(bytes).substr(at + 4, 4);
        if (type == "IHDR" && length >= 13) {
            bitDepth = static_cast<unsigned char>(bytes[at + 16]);
            colourType = static_cast<unsigned char>(bytes[at + 17]);
        } else if (type == "PLTE") {
            const bool indexed = colourType == 3 &&
                                 (bitDepth == 1 || bitDepth == 2 || bitDepth == 4 || bitDepth == 8);
            if (!indexed || length % 3 != 0 || length / 3 >= (1u << bitDepth)) return std::nullopt;
            return PngPalette{at, length / 3, bitDepth};
        } else if (type == "IDAT" || type == "IEND") {
            return std::nullopt;
        }
        at += 12 + std::size_t(length);
    }
    return std::nullopt;
}

// Refuses an indexed PNG with pixels pointing past its palette. The file is
// decoded again with the palette filled up to every index its bit depth
// allows, so those pixels keep their indexes and can be named.
void refuseIndexesPastPalette(const std::string& bytes, const std::string& shownName) {
    const auto palette = shortPngPalette(bytes);
    if (!palette) return;
    const std::size_t dataAt = palette->chunkAt + 8;
    const std::size_t full = std::size_t(1) << palette->bitDepth;
    std::string chunk = "PLTE" + bytes.substr(dataAt, palette->entries * 3);
    for (std::size_t i = palette->entries; i < full; ++i)
        chunk += {'\xFF', '\0', static_cast<char>(i & 0xFFu)};
    std::string padded = bytes.substr(0, palette->chunkAt);
    appendBigEndian32(padded, static_cast<std::uint32_t>(full * 3));
    padded += chunk;
    appendBigEndian32(padded, pngCrc(chunk));
    padded += bytes.substr(dataAt + palette->entries * 3 + 4);

    QByteArray data(padded.data(), static_cast<qsizetype>(padded.size()));
    QBuffer buffer(&data);
    QImageReader reader(&buffer);
    const QImage image = reader.read();
    if (image.isNull() || image.colorCount() == 0) return;

    const std::string past = " past the " + std::to_string(palette->entries) + "-colour palette";
    int count = 0;
    std::string named;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const int index = image.pixelIndex(x, y);
            if (index < 0 || std::size_t(index) < palette->entries) continue;
            if (++count <= kPixelsNamed) {
                named += (named.empty() ? "" : "; ") + std::to_string(x) + "," + std::to_string(y) +
                         " index " + std::to_string(index) + past;
            }
        }
    }
    if (count == 0) return;
    throw CommandError(shownName + ": " + named + (count > kPixelsNamed ? "; ..." : "") +
                       (count > 1 ? "; " + std::to_string(count) + " pixels in all" : ""));
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
    refuseIndexesPastPalette(bytes, shownName);
    return image;
}

std::string missingSpriteText(const std::string& typed, long long count) {
    return missingEntryText(typed, "sprite", kSpriteFileName, count, kLastSpriteIndex);
}

// Puts SPRITE at index REQUESTED of FILE, which the caller holds locked;
// the sprites are counted again here, from the file that is opened.
int writeSprite(const std::filesystem::path& dir, long long requested, const SpriteBytes& sprite,
                const EditMode& mode, std::ostream& out) {
    const std::filesystem::path file = dir / kSpriteFileName;
    const int fd = sys::openAt(file, sys::Open::ReadThrough);
    if (fd < 0) {
        throw GameError(ErrorKind::FileAccess, kSpriteFileName,
                        std::string("(") + std::strerror(errno) + ")");
    }
    struct Closer {
        int fd;
        ~Closer() {
            if (fd >= 0) sys::closeFile(fd);
        }
    } closer{fd};
    sys::Status status;
    if (sys::statusOf(fd, status) != 0) {
        throw GameError(ErrorKind::FileAccess, kSpriteFileName,
                        std::string("(") + std::strerror(errno) + ")");
    }
    if (status.kind != sys::Kind::Regular)
        throw GameError(ErrorKind::NotRegularFile, kSpriteFileName);
    const auto count = static_cast<long long>(status.size / kSpriteBytes);
    if (requested > std::min<long long>(count, kLastSpriteIndex))
        throw CommandError(missingSpriteText(std::to_string(requested), count));
    const std::int64_t at = static_cast<std::int64_t>(requested) * kSpriteBytes;
    SpriteBytes old{};
    if (requested < count &&
        sys::readAt(fd, old.data(), old.size(), at) != static_cast<std::int64_t>(old.size())) {
        throw GameError(ErrorKind::FileAccess, kSpriteFileName,
                        std::string("(") + std::strerror(errno) + ")");
    }
    const auto pixels = std::inner_product(old.begin(), old.end(), sprite.begin(), 0L,
                                           std::plus<>(), std::not_equal_to<>());
    if (requested < count && pixels == 0) {
        out << kSpriteFileName << ": sprite " << requested
            << " unchanged (the image shows it as it is)\n";
        return kExitSuccess;
    }
    const std::string summary =
        "sprite " + std::to_string(requested) + (requested == count ? " appended" : " replaced") +
        ", " + std::to_string(pixels) + (pixels == 1 ? " pixel" : " pixels") + " changed";
    if (mode.dryRun) {
        out << kSpriteFileName << ": " << summary << "; dry run: nothing written\n";
        return kExitSuccess;
    }
    // A game file that cannot be written is refused as such, not as history.
    checkWritable(file, mode.existing());
    std::optional<PendingEdit> record;
    if (mode.recordHistory)
        record.emplace(dir, "import sprite", summary, std::vector<std::string>{kSpriteFileName});
    AtomicFile replacement(file, mode.existing());
    replacement.copySparse(fd);
    // Closed before the commit: Windows replaces no file that is open, even
    // by the program replacing it.
    sys::closeFile(std::exchange(closer.fd, -1));
    replacement.writeAt(at, sprite);
    out << kSpriteFileName << ": " << summary << "\n";
    commitAfterReport(out, [&] {
        replacement.commit();
        if (record) record->keep();
    });
    return kExitSuccess;
}

}  // namespace

int importSprite(const ImportRequest& request, const std::filesystem::path& dir,
                 std::ostream& out) {
    requireStandardOutput();
    requireGameFiles(dir, {kPaletteFileName});
    requireOwnGameFile(dir, kSpriteFileName);
    Palette palette;
    loadPalette(palette, dir / kPaletteFileName);
    makeColorFromRGB(palette);

    // A wrong index is named before the image is looked at; the count is
    // taken again under the lock.
    const long long count = lastMonsterIndex(dir / kSpriteFileName) + 1;
    MonsterLookup lookup;
    lookup.lastIndex = static_cast<int>(std::min<long long>(count, kLastSpriteIndex));
    lookup.namedRecords = static_cast<int>(count);
    lookup.statsFile = dir / kStatsFileName;
    lookup.outOfRange = [count](const std::string& word) { return missingSpriteText(word, count); };
    const long long requested = resolveMonster(request.monster, lookup);

    const std::string shownName = inputName(request.file);
    const QImage image = readImage(request.file, shownName);
    const SpriteBytes sprite = spriteOf(image, palette, request.nearest, shownName, out);

    std::optional<GameFolderLock> lock;
    if (!request.mode.dryRun) lock.emplace(dir);
    return writeSprite(dir, requested, sprite, request.mode, out);
}

}  // namespace karnwick::cli
