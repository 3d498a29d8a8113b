#include "cli/import_command.h"

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
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/csv_text.h"
#include "cli/game_edit.h"
#include "data/errors.h"
#include "data/file_writer.h"
#include "data/palette.h"
#include "data/record_fields.h"
#include "data/sprite.h"

using namespace karnwick;

namespace {

constexpr int kLastRecordIndex = 32766;  // the record number, index + 1, is 16-bit
constexpr int kLastSpriteIndex = 32767;  // the arena counts at most 32768 sprites
constexpr int kPixelsNamed = 5;

// The whole of FILE, or of standard input for "-".
std::string readInput(const QString& name) {
    std::istream* in = &std::cin;
    std::ifstream file;
    const std::string path = cli::pathFromArgument(name).string();
    if (name != "-") {
        std::error_code error;
        if (std::filesystem::is_directory(path, error))
            throw cli::CommandError("cannot read " + path + ": it is a folder");
        file.open(path, std::ios::binary);
        if (!file)
            throw cli::CommandError("cannot read " + path + " (" + std::strerror(errno) + ")");
        in = &file;
    }
    // Far more than the CSV of 32767 records or any sprite's image; a
    // device that never ends (/dev/zero) stops here instead of filling the
    // memory.
    constexpr std::size_t kMostBytes = std::size_t{64} << 20;
    const std::string shown = name == "-" ? "standard input" : path;
    std::string text;
    std::array<char, 1 << 16> chunk;
    while (in->read(chunk.data(), chunk.size()) || in->gcount() > 0) {
        text.append(chunk.data(), static_cast<std::size_t>(in->gcount()));
        if (text.size() > kMostBytes)
            throw cli::CommandError(shown +
                                    " holds more than 64 MiB: not a file of records or a sprite");
    }
    if (in->bad()) throw cli::CommandError("cannot read " + shown);
    return text;
}

// ----- import stats --------------------------------------------------------

struct CsvRow {
    int line;
    int index;
    RecordBytes record;
};

[[noreturn]] void badRow(int line, int column, const std::string& problem) {
    std::string where = "line " + std::to_string(line);
    if (column > 0) {
        where += ", column " + std::to_string(column) + " (" +
                 (column == 1 ? std::string("index")
                              : std::string(kRecordFields[std::size_t(column - 2)].name)) +
                 ")";
    }
    throw cli::CommandError(where + ": " + problem + "; nothing imported");
}

// The lines of TEXT without their line ends, "\r\n" taken as one.
std::vector<std::string_view> csvLines(const std::string& text) {
    std::vector<std::string_view> lines;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string_view l(text.data() + at, end - at);
        if (l.ends_with('\r')) l.remove_suffix(1);
        lines.push_back(l);
        at = end + 1;
    }
    return lines;
}

// One field's VALUE into its place in a record, as the file holds it.
void putField(const RecordField& field, const std::string& value, int lineNumber, int column,
              unsigned char* at) {
    if (field.number) {
        const auto n = cli::wholeNumber(QString::fromStdString(value), -32768, 32767);
        if (!n)
            badRow(lineNumber, column,
                   quotedText(value) + " is not a whole number from -32768 to 32767");
        const auto u = static_cast<uint16_t>(*n);
        at[0] = static_cast<unsigned char>(u & 0xFF);
        at[1] = static_cast<unsigned char>(u >> 8);
        return;
    }
    std::string problem;
    auto bytes = cli::csvTextBytes(value, problem);
    if (!bytes) badRow(lineNumber, column, problem);
    if (bytes->size() > static_cast<std::size_t>(field.width)) {
        badRow(lineNumber, column,
               quotedText(value) + " is longer than the field's " + std::to_string(field.width) +
                   " characters");
    }
    bytes->resize(static_cast<std::size_t>(field.width), ' ');
    std::copy(bytes->begin(), bytes->end(), at);
}

CsvRow parseStatsRow(std::string_view line, int lineNumber) {
    std::string problem;
    int column = 0;
    const auto fields = cli::splitCsvLine(line, problem, column);
    if (!fields) badRow(lineNumber, column, problem);
    if (fields->size() != kRecordFieldCount + 1) {
        badRow(lineNumber, 0,
               std::to_string(fields->size()) + " columns where the header has " +
                   std::to_string(kRecordFieldCount + 1));
    }
    CsvRow row{lineNumber, 0, {}};
    const auto index =
        cli::wholeNumber(QString::fromStdString((*fields)[0].text), 0, kLastRecordIndex);
    if (!index) {
        badRow(lineNumber, 1,
               "\"" + (*fields)[0].text + "\" is not a monster index from 0 to " +
                   std::to_string(kLastRecordIndex));
    }
    row.index = static_cast<int>(*index);
    for (std::size_t f = 0; f < kRecordFields.size(); ++f) {
        const RecordField& field = kRecordFields[f];
        putField(field, (*fields)[f + 1].text, lineNumber, static_cast<int>(f) + 2,
                 row.record.data() + field.offset);
    }
    return row;
}

std::vector<CsvRow> parseStatsCsv(std::string text) {
    if (text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);  // a spreadsheet's byte order mark
    const std::vector<std::string_view> lines = csvLines(text);
    std::string header = "index";
    for (const RecordField& f : kRecordFields) header.append(",").append(f.name);
    if (lines.empty() || lines.front() != header)
        badRow(1, 0, "expected the header that list --csv writes (" + header + ")");

    std::vector<CsvRow> rows;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const int lineNumber = static_cast<int>(i) + 1;
        if (lines[i].empty()) {
            // Blank lines are allowed only as the file's tail.
            if (std::all_of(lines.begin() + static_cast<std::ptrdiff_t>(i), lines.end(),
                            [](std::string_view l) { return l.empty(); }))
                break;
            badRow(lineNumber, 0, "an empty line");
        }
        rows.push_back(parseStatsRow(lines[i], lineNumber));
    }
    return rows;
}

int importStats(const QString& csvName, const std::filesystem::path& dir, std::ostream& out) {
    std::vector<CsvRow> rows = parseStatsCsv(readInput(csvName));
    std::stable_sort(rows.begin(), rows.end(),
                     [](const CsvRow& a, const CsvRow& b) { return a.index < b.index; });
    for (std::size_t i = 1; i < rows.size(); ++i) {
        if (rows[i].index == rows[i - 1].index) {
            badRow(rows[i].line, 1,
                   "monster " + std::to_string(rows[i].index) + " is on line " +
                       std::to_string(rows[i - 1].line) + " too");
        }
    }

    const std::filesystem::path file = dir / kStatsFileName;
    cli::requireOwnGameFile(dir, kStatsFileName);
    const cli::GameFolderLock lock(dir);
    const std::vector<unsigned char> old = cli::readWholeFile(file);
    std::vector<unsigned char> bytes = old;
    std::size_t records = (old.size() + kRecordLength - 1) / kRecordLength;
    int changed = 0, appended = 0;
    for (const CsvRow& row : rows) {
        const auto index = static_cast<std::size_t>(row.index);
        if (index > records) {
            badRow(row.line, 1,
                   "monster " + std::to_string(row.index) +
                       " would leave a gap: the next record "
                       "to append is " +
                       std::to_string(records));
        }
        const std::size_t at = index * kRecordLength;
        if (bytes.size() < at + kRecordLength) bytes.resize(at + kRecordLength, 0);
        if (!std::equal(row.record.begin(), row.record.end(), bytes.begin() + std::ptrdiff_t(at))) {
            ++(index < (old.size() + kRecordLength - 1) / kRecordLength ? changed : appended);
            std::copy(row.record.begin(), row.record.end(), bytes.begin() + std::ptrdiff_t(at));
        }
        records = std::max(records, index + 1);
    }
    // Past the old end, zero bytes read as they would without the file
    // growing (a partial last record, the zero rows `list` shows for sprites
    // without a record): the file grows only up to the last whole record
    // that holds something.
    std::size_t length = bytes.size();
    while (length > old.size() && bytes[length - 1] == 0) --length;
    if (length > old.size())
        length = (length + kRecordLength - 1) / kRecordLength * kRecordLength;
    else
        length = old.size();
    bytes.resize(length);

    if (bytes == old) {
        out << "monsters.tat unchanged: " << rows.size() << (rows.size() == 1 ? " row" : " rows")
            << " read, each as the file holds it\n";
        return cli::kExitSuccess;
    }
    cli::rewriteGameFile(file, bytes);
    out << "monsters.tat: " << rows.size() << (rows.size() == 1 ? " row" : " rows") << " read, "
        << changed << (changed == 1 ? " record" : " records") << " changed, " << appended
        << " appended\n";
    return cli::kExitSuccess;
}

// ----- import sprite -------------------------------------------------------

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
        throw cli::CommandError(name + ": " + std::to_string(strayCount) +
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
    throw cli::CommandError(name + " is " + std::to_string(size.width()) + " x " +
                            std::to_string(size.height()) + " pixels; a sprite is 90 x 100");
}

// The image of FILE, or of standard input for "-". Its size is checked before
// it is decoded, so a huge picture is refused without being unpacked.
QImage readImage(const QString& name, const std::string& shownName) {
    const std::string bytes = readInput(name);
    QByteArray data(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (size.isValid() && size != QSize(kSpriteWidth, kSpriteHeight)) wrongSize(shownName, size);
    const QImage image = reader.read();
    if (image.isNull()) {
        throw cli::CommandError(shownName + ": not an image this tool can read (" +
                                reader.errorString().toStdString() + ")");
    }
    if (image.size() != QSize(kSpriteWidth, kSpriteHeight)) wrongSize(shownName, image.size());
    return image;
}

void refuseSpriteIndex(long long requested, long long count) {
    if (requested <= count) return;
    throw cli::CommandError("monster " + std::to_string(requested) +
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
            return cli::kExitSuccess;
        }
    }
    AtomicFile replacement(file, Existing::Replace);
    replacement.setMode(static_cast<unsigned>(status.st_mode));
    replacement.copySparse(fd);
    replacement.writeAt(at, sprite);
    replacement.commit();
    out << "monster.dat: sprite " << requested << (requested == count ? " appended" : " replaced")
        << "\n";
    return cli::kExitSuccess;
}

int importSprite(const QString& monster, const QString& imageName, bool nearest,
                 const std::filesystem::path& dir, std::ostream& out) {
    const auto requested = cli::wholeNumber(monster, 0, kLastSpriteIndex);
    if (!requested) {
        throw cli::CommandError("monster \"" + monster.toStdString() +
                                "\" is not a monster index from 0 to " +
                                std::to_string(kLastSpriteIndex));
    }
    cli::requireGameFiles(dir, {kPaletteFileName});
    cli::requireOwnGameFile(dir, kSpriteFileName);
    Palette palette;
    loadPalette(palette, dir / kPaletteFileName);
    makeColorFromRGB(palette);

    // A wrong index is named before the image is looked at; the count is
    // taken again under the lock.
    refuseSpriteIndex(*requested, countMonsters(dir / kSpriteFileName) + 1);

    const std::string shownName =
        imageName == "-" ? "standard input" : cli::pathFromArgument(imageName).string();
    const QImage image = readImage(imageName, shownName);
    const SpriteBytes sprite = spriteOf(image, palette, nearest, shownName, out);

    const cli::GameFolderLock lock(dir);
    return writeSprite(dir / kSpriteFileName, *requested, sprite, out);
}

}  // namespace

int runImportCommand(const QStringList& arguments, std::ostream& out, std::ostream&) {
    cli::CommandLine line(
        "import", "stats FILE.csv | sprite N FILE.png",
        "Writes edited game data back into the game files:\n"
        "  stats FILE    records from the CSV that `list --csv` writes (- for standard\n"
        "                input), matched by index; rows past the end append records\n"
        "  sprite N FILE monster N's sprite from a 90 x 100 image (- for standard input):\n"
        "                an image with the game palette index for index, any other\n"
        "                colour by colour (transparent pixels to index 0)");
    QCommandLineParser& parser = line.parser();
    const QCommandLineOption nearestOption(
        "nearest", "sprite: take the nearest palette colour for a colour not in the palette.");
    parser.addOption(nearestOption);
    line.addDirOption();
    if (!line.parse(arguments, out)) return cli::kExitSuccess;

    const QStringList positional = line.positionalArguments();
    const QString what = positional.value(0);
    if (what == "stats" && positional.size() == 2) {
        if (line.isSet(nearestOption)) throw cli::CommandError("--nearest is for import sprite");
        return importStats(positional[1], line.gameDir(), out);
    }
    if (what == "sprite" && positional.size() == 3)
        return importSprite(positional[1], positional[2], line.isSet(nearestOption), line.gameDir(),
                            out);
    throw cli::CommandError("expected stats FILE.csv or sprite N FILE.png (see --help)");
}
