#include "cli/matrix_command.h"

#include <QCommandLineParser>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <optional>

#include "battle/odds.h"
#include "battle/outcome_columns.h"
#include "cli/command_line.h"
#include "cli/outcome_output.h"
#include "cli/pictures.h"
#include "cli/roster.h"
#include "cli/shown_text.h"
#include "cli/standard_output.h"
#include "data/console.h"
#include "data/errors.h"
#include "data/file_writer.h"

namespace karnwick::cli {

namespace {

// A band of rows is held while it is worked out and written; the rows of a
// large roster go a band at a time so memory stays flat in the pairs.
constexpr std::size_t kBandBytes = std::size_t{64} << 20;

// What standard output carries: the ranking, the pairs, or nothing but the
// heat map itself (--png -).
enum class Listing { Ranking, Csv, Json, None };

struct MatrixRequest {
    QStringList setTexts;  // --set, as given
    Listing listing = Listing::Ranking;
    std::optional<std::filesystem::path> heatMap;
    Existing existing = Existing::Refuse;
    int threads = 1;
};

// The request, or nothing when the help was asked for and written to `out`.
std::optional<MatrixRequest> parseRequest(cli::CommandLine& line, const QStringList& arguments,
                                          std::ostream& out) {
    const QCommandLineOption csvOption("csv", "One CSV row per pair instead of the ranking.");
    const QCommandLineOption jsonOption("json",
                                        "A JSON array of the pairs instead of the ranking.");
    const QCommandLineOption pngOption(
        "png",
        "Also draw the heat map of " + cli::sideText(0) +
            "'s chance of winning into FILE (- for standard output, instead of the listing).",
        "FILE");
    const QCommandLineOption forceOption("force", "Replace the --png file if it exists.");
    const QCommandLineOption threadsOption = cli::threadsOption();
    const QCommandLineOption setOption = recordOverrideOption();
    QCommandLineParser& parser = line.parser();
    parser.addOptions({csvOption, jsonOption, pngOption, forceOption, threadsOption, setOption});
    line.addDirOption();

    if (!line.parse(arguments, out)) return std::nullopt;
    MatrixRequest request;
    if (!line.positionalArguments().isEmpty()) {
        throw cli::CommandError("unexpected argument \"" +
                                line.positionalArguments().first().toStdString() +
                                "\" (see --help)");
    }
    line.requireAtMostOne({&csvOption, &jsonOption});
    request.listing = line.isSet(csvOption)    ? Listing::Csv
                      : line.isSet(jsonOption) ? Listing::Json
                                               : Listing::Ranking;
    request.threads = cli::threadCount(line, threadsOption);
    request.existing = line.isSet(forceOption) ? Existing::Replace : Existing::Refuse;
    if (line.isSet(pngOption)) {
        const QString file = line.value(pngOption);
        if (file.isEmpty()) throw cli::CommandError("--png needs a file name");
        request.heatMap = line.pathValue(pngOption);
        // A doomed picture fails now, not after the whole matrix.
        if (cli::isStandardOutputName(*request.heatMap)) {
            if (request.listing != Listing::Ranking)
                throw cli::CommandError(
                    "--png - writes the picture to standard output: --csv and "
                    "--json cannot go there too");
            cli::requirePictureOutput();
            request.listing = Listing::None;
        } else {
            checkWritable(*request.heatMap, request.existing);
        }
    }
    request.setTexts = parser.values(setOption);
    return request;
}

std::vector<MonsterStats> loadMonsters(const cli::Roster& roster) {
    std::vector<MonsterStats> monsters;
    for (int i = 0; i <= roster.lastIndex(); ++i)
        monsters.push_back(roster.load(static_cast<int16_t>(i)));
    return monsters;
}

// Writes CSV or JSON rows as each band is done.
class PairWriter {
  public:
    PairWriter(std::ostream& out, Listing listing) : m_out(out), m_listing(listing) {
        if (listing == Listing::Csv) m_out << pairCsvHeader();
        if (listing == Listing::Json) m_out << '[';
    }
    void write(std::size_t a, std::size_t b, const OutcomeOdds& o) {
        if (m_listing == Listing::Csv) {
            m_out << pairCsvLine(static_cast<long long>(a), static_cast<long long>(b), o);
        } else if (m_listing == Listing::Json) {
            QJsonObject pair{{"one", static_cast<qint64>(a)}, {"two", static_cast<qint64>(b)}};
            cli::addOutcomeJson(pair, o);
            m_out << (m_first ? "" : ",")
                  << QJsonDocument(pair).toJson(QJsonDocument::Compact).toStdString();
            m_first = false;
        }
    }
    void finish() {
        if (m_listing == Listing::Json) m_out << "]\n";
    }

  private:
    std::ostream& m_out;
    Listing m_listing;
    bool m_first = true;
};

// Each monster's chance of winning, averaged over every opponent as Monster
// Two and as Monster One.
void writeRanking(std::ostream& out, const std::vector<double>& wins,
                  const std::vector<std::string>& names) {
    const std::size_t n = wins.size();
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t x, std::size_t y) { return wins[x] > wins[y]; });
    out << "Rank  Monster  Name        Mean chance of winning\n";
    for (std::size_t r = 0; r < n; ++r) {
        const std::size_t i = order[r];
        char row[160];
        std::snprintf(row, sizeof row, "%4zu  %7zu  %s  %22s\n", r + 1, i,
                      cli::paddedText(names[i], 10).c_str(),
                      percentText(wins[i] / (2.0 * static_cast<double>(n))).c_str());
        out << row;
    }
}

std::uint64_t memoryBudget() {
    const std::uint64_t memory = platform::physicalMemory();
    return memory > 0 ? memory / 2 : std::uint64_t{1} << 31;
}

// "INDEX NAME" for each monster, checked against the memory the picture may take.
std::vector<std::string> heatMapLabels(const std::vector<std::string>& names) {
    std::vector<std::string> labels;
    for (std::size_t i = 0; i < names.size(); ++i)
        labels.push_back(monsterLabel(static_cast<int>(i), names[i]));
    cli::pictures().requireHeatMapFits(labels, memoryBudget());
    return labels;
}

// Each monster's chances of winning summed over its pairs, and Monster One's
// chance in every pair when a heat map needs them.
struct Tally {
    std::vector<double> wins, oneWins;
};

// Works the matrix out a band of rows at a time, writing each band's pairs
// before the next is held.
Tally tallyPairs(const std::vector<MonsterStats>& monsters, const MatrixRequest& request,
                 PairWriter& pairs, std::ostream& err) {
    const std::size_t n = monsters.size();
    const std::size_t band =
        std::clamp<std::size_t>(kBandBytes / (std::max<std::size_t>(n, 1) * sizeof(OutcomeOdds)), 1,
                                std::max<std::size_t>(n, 1));
    std::size_t total = 0;
    for (std::size_t first = 0; first < n; first += band) {
        const std::size_t rows = std::min(band, n - first);
        total += rows * n - rows * (rows - 1) / 2;
    }
    Tally tally{std::vector<double>(n, 0.0), std::vector<double>(request.heatMap ? n * n : 0)};
    cli::Progress progress(err, "matrix", "match-ups", total);
    std::size_t before = 0;
    for (std::size_t first = 0; first < n; first += band) {
        std::size_t worked = 0;
        const std::vector<OutcomeOdds> rows = oddsMatrixRows(monsters, first, band, request.threads,
                                                             [&](std::size_t done, std::size_t) {
                                                                 progress(before + done);
                                                                 worked = done;
                                                             });
        before += worked;
        progress.clear();
        for (std::size_t r = 0; r < rows.size() / std::max<std::size_t>(n, 1); ++r) {
            const std::size_t a = first + r;
            for (std::size_t b = 0; b < n; ++b) {
                const OutcomeOdds& o = rows[r * n + b];
                pairs.write(a, b, o);
                tally.wins[a] += o.oneWins;
                tally.wins[b] += o.twoWins;
                if (request.heatMap) tally.oneWins[a * n + b] = o.oneWins;
            }
        }
    }
    return tally;
}

}  // namespace

int runMatrixCommand(const Command& command, const QStringList& arguments, std::ostream& out,
                     std::ostream& err) {
    cli::CommandLine line(
        command,
        "The exact odds of every ordered pair of monsters (A as " + cli::sideText(0) + ", B as " +
            cli::sideText(1) +
            ",\n"
            "A = B included) after a fresh choice, as 'karnwick odds' computes them. By default a\n"
            "ranking by each monster's mean chance of winning over all opponents and both sides.");
    const std::optional<MatrixRequest> asked = parseRequest(line, arguments, out);
    if (!asked) return cli::kExitSuccess;
    const MatrixRequest& request = *asked;

    const std::vector<MonsterStats> monsters =
        loadMonsters(cli::Roster(line.lockGameDir(), request.setTexts));
    std::vector<std::string> names;
    for (const MonsterStats& m : monsters) names.push_back(cli::shownText(m.name));
    const std::vector<std::string> labels =
        request.heatMap ? heatMapLabels(names) : std::vector<std::string>{};

    PairWriter pairs(out, request.listing);
    Tally tally = tallyPairs(monsters, request, pairs, err);
    pairs.finish();
    if (request.listing == Listing::Ranking) writeRanking(out, tally.wins, names);
    // The listing is out before the picture is written: a picture that fails
    // at the end costs nothing else that was asked for.
    if (request.heatMap) {
        out.flush();
        const std::string picture =
            cli::pictures().heatMapImage(labels, std::move(tally.oneWins), *request.heatMap);
        if (request.listing == Listing::None)
            out << picture;
        else
            writeFileAtomically(*request.heatMap, picture, request.existing);
    }
    return cli::kExitSuccess;
}

}  // namespace karnwick::cli
