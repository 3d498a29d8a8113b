#include "golden.h"

#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <vector>

#include "command_run.h"

namespace karnwick::testing {

namespace fs = std::filesystem;

namespace {

// One record laid out byte by byte as monsters.tat holds it, without the
// record codec: name, hp, spare1-5, level, agility, strength, spare6-7,
// special1, special2, then sp1Threshold to spare11.
std::string recordBytes(std::string_view name, std::string_view special1, std::string_view special2,
                        std::initializer_list<int> numbers) {
    auto text = [](std::string_view t, std::size_t width) {
        return std::string(t) + std::string(width - t.size(), ' ');
    };
    auto number = [](int n) { return std::string{char(n & 0xFF), char((n >> 8) & 0xFF)}; };
    std::string bytes = text(name, 10);
    const std::vector<int> n(numbers);
    for (std::size_t i = 0; i < 11; ++i) bytes += number(n[i]);
    bytes += text(special1, 12) + text(special2, 12);
    for (std::size_t i = 11; i < n.size(); ++i) bytes += number(n[i]);
    return bytes;
}

std::string hashOf(QByteArrayView bytes) {
    return sha256Hex({bytes.data(), std::size_t(bytes.size())}).substr(0, 16);
}

std::string describeImage(const QImage& image) {
    std::string text =
        "PNG " + std::to_string(image.width()) + " x " + std::to_string(image.height());
    QByteArray pixels;
    if (image.format() == QImage::Format_Indexed8) {
        QByteArray colours;
        for (const QRgb c : image.colorTable())
            colours.append(reinterpret_cast<const char*>(&c), sizeof c);
        for (int y = 0; y < image.height(); ++y)
            pixels.append(reinterpret_cast<const char*>(image.constScanLine(y)), image.width());
        return text + ", " + std::to_string(image.colorCount()) + " colours " + hashOf(colours) +
               ", indexes " + hashOf(pixels);
    }
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y)
        pixels.append(reinterpret_cast<const char*>(argb.constScanLine(y)), argb.width() * 4);
    return text + ", pixels " + hashOf(pixels);
}

void describeFile(const fs::path& path, const std::string& shown, std::string& out) {
    if (fs::is_directory(path)) {
        std::vector<fs::path> entries(fs::directory_iterator(path), {});
        std::sort(entries.begin(), entries.end());
        out += "[" + shown + "/]\n";
        for (const fs::path& entry : entries)
            describeFile(entry, shown + "/" + entry.filename().string(), out);
        return;
    }
    if (!fs::exists(path)) {
        out += "[" + shown + "] missing\n";
        return;
    }
    const std::string bytes = readBytes(path);
    const QImage image = QImage::fromData(QByteArray::fromStdString(bytes), "PNG");
    out += "[" + shown + "] " +
           (image.isNull() ? std::to_string(bytes.size()) + " bytes, sha256 " +
                                 hashOf(QByteArrayView(bytes.data(), qsizetype(bytes.size())))
                           : describeImage(image)) +
           "\n";
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at))
        text.replace(at, from.size(), to), at += to.size();
}

// Long lines (a 667-turn log, a JSON array of turns) and long outputs keep
// their ends readable; the middle stands as its hash, so a change there still
// fails.
std::string shortened(std::string output) {
    // A JSON array shows one element a line.
    if (output.starts_with("[{")) replaceAll(output, "},{", "},\n{");
    constexpr std::size_t kLongLine = 600, kKept = 200, kLongOutput = 150;
    auto cutAt = [](const std::string& s, std::size_t i) {
        while (i < s.size() && (s[i] & 0xC0) == 0x80) ++i;
        return i;
    };
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < output.size()) {
        const std::size_t end = std::min(output.find('\n', start), output.size() - 1);
        std::string line = output.substr(start, end + 1 - start);
        if (line.size() > kLongLine) {
            const std::size_t head = cutAt(line, kKept), tail = cutAt(line, line.size() - kKept);
            line = line.substr(0, head) + " ...[" + std::to_string(tail - head) +
                   " bytes, sha256 " +
                   hashOf(QByteArrayView(line.data() + head, qsizetype(tail - head))) + "]... " +
                   line.substr(tail);
        }
        lines.push_back(std::move(line));
        start = end + 1;
    }
    if (lines.size() <= kLongOutput) {
        std::string all;
        for (const std::string& line : lines) all += line;
        return all;
    }
    std::string head, middle, tail;
    for (std::size_t i = 0; i < lines.size(); ++i)
        (i < 100 ? head : i + 30 < lines.size() ? middle : tail) += lines[i];
    return head + "...[" + std::to_string(lines.size() - 130) + " lines, sha256 " +
           hashOf(QByteArrayView(middle.data(), qsizetype(middle.size()))) + "]...\n" + tail;
}

}  // namespace

void writeGoldenSet(const GameFolder& folder) {
    // Entry i has the levels (i % 64, (i / 4) % 64, 63 - i % 64), except
    // entry 201, which repeats entry 26 (the colour of sprite 1).
    std::string palette;
    for (int i = 0; i < 256; ++i) {
        const int e = i == 201 ? 26 : i;
        palette += std::to_string(e % 64) + "," + std::to_string((e / 4) % 64) + "," +
                   std::to_string(63 - e % 64) + "\r\n";
    }
    folder.write(kPaletteFileName, palette);

    // Sprite m: a box of palette index 1 + 25m, columns 5+m to 59+m, rows 10
    // to 19+7m; the rest transparent.
    std::string sprites(10 * 9000, '\0');
    for (int m = 0; m < 10; ++m)
        for (int y = 10; y < 20 + 7 * m; ++y)
            for (int x = 5 + m; x < 60 + m; ++x)
                sprites[std::size_t(m * 9000 + y * 90 + x)] = char(1 + 25 * m);
    folder.write(kSpriteFileName, sprites);

    // hp, spare1-5, level, agility, strength, spare6-7 | sp1Threshold,
    // sp2Threshold, spare8-9, offMin, offMax, sp1Min, sp1Max, sp2Min, sp2Max,
    // defense, mpower, magicFlag, spare10-11
    const std::string records[] = {
        recordBytes("Gr\xFCngul", "Bite", "Tail Whip",
                    {41, 101, 102, 103, 104, 105, 4, 13, 22, 106, 107,  //
                     21, 38,  108, 109, 5,   11,  9, 15, 6,  17,  3,   2, 0, 110, 111}),
        recordBytes("Ice Wraith", "Frost", "Blizzard",
                    {47, 201, 202, 203, 204, 205, 10, 9,  12, 206, 207,  //
                     30, 52,  208, 209, 3,   8,   7,  13, 14, 19,  6,   25, 1, 210, 211}),
        // Mossback and Stonewart never hurt anyone: their pair is capped.
        recordBytes("Mossback", "Spore Cloud", "Root Snare",
                    {33, 301, 302, 303, 304, 305, 5, 7, -90, 306, 307,  //
                     12, 27,  308, 309, 1,   2,   3, 4, 8,   6,   40,  14, 0, 310, 311}),
        recordBytes("Stonewart", "Pebble", "Quake",
                    {36, 401, 402, 403, 404, 405, 2, 11, -95, 406, 407,  //
                     16, 44,  408, 409, 1,   3,   4, 5,  6,   9,   45,  17, 0, 410, 411}),
        // An undefined Windows-1252 byte in the name, DEL in special2.
        recordBytes("Vex\x9Dling", "Hex Bolt", "Rot\x7F",
                    {28, 501, 502, 503, 504, 505, 7,  15, 30, 506, 507,  //
                     25, 60,  508, 509, 4,   10,  11, 16, 2,  20,  5,   21, -1, 510, 511}),
        recordBytes("Husk", "Dust", "Crumble",
                    {-3, 601, 602, 603, 604, 605, 1, 4, 8, 606, 607,  //
                     10, 20,  608, 609, 2,   5,   3, 6, 7, 9,   0,   11, 12, 610, 611}),
        recordBytes("Glasswing", "Shard", "Glare",
                    {19, 701, 702, 703, 704, 705, 100, 24, 14, 706, 707,  //
                     35, 70,  708, 709, 6,   13,  15,  18, 9,  12,  8,   3, 0, 710, 711}),
    };
    std::string stats;
    for (const std::string& r : records) stats += r;
    folder.write(kStatsFileName, stats);
}

std::string goldenTranscript(const GameFolder& folder, std::initializer_list<GoldenStep> steps) {
    std::string transcript;
    for (const GoldenStep& step : steps) {
        QStringList arguments = step.arguments;
        transcript += "$ karnwick " + arguments.join(' ').toStdString() + "\n";
        QStringList rest = arguments;
        if (rest.size() >= 2 && rest[0] == "--dir") rest = rest.mid(2);
        const std::string command = rest.takeFirst().toStdString();
        if (arguments[0] == "--dir") rest << arguments.mid(0, 2);
        const CommandRun run = runKarnwick(command, rest);
        transcript += shortened(run.out);
        if (!run.err.empty()) transcript += "[stderr]\n" + shortened(run.err);
        if (run.status != 0) transcript += "[status " + std::to_string(run.status) + "]\n";
        for (const QString& written : step.writes)
            describeFile(folder.path() / written.toStdString(), written.toStdString(), transcript);
        transcript += "\n";
    }
    replaceAll(transcript, platform::pathText(folder.path()), "$DIR");
    return transcript;
}

namespace {

// Pictures with text (sheets, charts) are drawn in the system's fonts, which
// Windows lays out and smooths otherwise: there their sizes and pixels are
// left out, and every other line, the indexed pictures' included, must match.
std::string comparable(const std::string& transcript) {
    if constexpr (kPosix) return transcript;
    static const std::regex drawn(R"(PNG \d+ x \d+, pixels [0-9a-f]{16})");
    return std::regex_replace(transcript, drawn, "PNG drawn in the system's fonts");
}

}  // namespace

void expectGolden(const std::string& name, const std::string& transcript) {
    const fs::path file = fs::path(KARNWICK_SOURCE_DIR) / "tests" / "golden" / (name + ".txt");
    if (const char* update = std::getenv("KARNWICK_UPDATE_GOLDEN"); update && *update == '1') {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << transcript;
        return;
    }
    std::ifstream in(file, std::ios::binary);
    ASSERT_TRUE(in) << file << " is missing: run with KARNWICK_UPDATE_GOLDEN=1 to write it";
    const std::string golden{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(comparable(transcript), comparable(golden))
        << "differs from " << file << " (KARNWICK_UPDATE_GOLDEN=1 rewrites it; review the diff)";
}

}  // namespace karnwick::testing
