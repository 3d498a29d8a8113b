#include "cli/matrix_command.h"

#include <unistd.h>

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <numeric>
#include <thread>

#include "battle/odds.h"
#include "data/errors.h"
#include "cli/command_line.h"
#include "cli/heat_map.h"
#include "cli/roster.h"

using namespace karnwick;

namespace {

// The shortest text that reads back as the same double.
std::string shortest(double value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

std::string trimmed(std::string text) {
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

// Progress on a terminal, once the work has taken more than a second.
class Progress {
  public:
    explicit Progress(std::ostream& err) : m_err(err), m_shown(isatty(STDERR_FILENO) == 1) {}
    void operator()(std::size_t done, std::size_t total) {
        if (!m_shown || std::chrono::steady_clock::now() - m_start < std::chrono::seconds(1))
            return;
        m_err << "\rkarnwick matrix: " << done << " of " << total << " match-ups"
              << (done == total ? "\n" : "") << std::flush;
    }

  private:
    std::ostream& m_err;
    bool m_shown;
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

}  // namespace

int runMatrixCommand(const QStringList& arguments, std::ostream& out, std::ostream& err) {
    cli::CommandLine line(
        "matrix", "",
        "The exact odds of every ordered pair of monsters (A as Monster One, B as Monster Two,\n"
        "A = B included) after a fresh choice, as 'karnwick odds' computes them. By default a\n"
        "ranking by each monster's mean chance of winning over all opponents and both sides.");
    const QCommandLineOption csvOption("csv", "One CSV row per pair instead of the ranking.");
    const QCommandLineOption jsonOption("json",
                                        "A JSON array of the pairs instead of the ranking.");
    const QCommandLineOption pngOption(
        "png", "Also draw the heat map of Monster One's chance of winning into FILE.", "FILE");
    const QCommandLineOption threadsOption(
        "threads", "Work on N threads (default: one per core); the output is the same.", "N");
    const QCommandLineOption setOption = recordOverrideOption();
    QCommandLineParser& parser = line.parser();
    parser.addOptions({csvOption, jsonOption, pngOption, threadsOption, setOption});
    line.addDirOption();

    if (!line.parse(arguments, out)) return cli::kExitSuccess;
    if (!line.positionalArguments().isEmpty()) {
        throw cli::CommandError("unexpected argument \"" +
                                  line.positionalArguments().first().toStdString() +
                                  "\" (see --help)");
    }
    if (line.isSet(csvOption) && line.isSet(jsonOption))
        throw cli::CommandError("--csv and --json exclude each other");
    int threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    if (line.isSet(threadsOption)) {
        const auto asked = cli::wholeNumber(line.value(threadsOption), 1, 1024);
        if (!asked) {
            throw cli::CommandError("--threads takes a whole number from 1 to 1024, not \"" +
                                      line.value(threadsOption).toStdString() + "\"");
        }
        threads = static_cast<int>(*asked);
    }

    const cli::Roster roster(line.gameDir(), parser.values(setOption));
    std::vector<MonsterStats> monsters;
    for (int i = 0; i <= roster.lastIndex(); ++i)
        monsters.push_back(roster.load(static_cast<int16_t>(i)));

    Progress progress(err);
    const std::vector<OutcomeOdds> matrix = oddsMatrix(
        monsters, threads, [&](std::size_t done, std::size_t total) { progress(done, total); });
    const std::size_t n = monsters.size();
    std::vector<std::string> names;
    for (const MonsterStats& m : monsters) names.push_back(trimmed(fieldText(m.name)));

    if (parser.isSet(pngOption)) {
        std::vector<std::string> labels;
        std::vector<double> oneWins;
        for (std::size_t i = 0; i < n; ++i) labels.push_back(std::to_string(i) + " " + names[i]);
        for (const OutcomeOdds& o : matrix) oneWins.push_back(o.oneWins);
        const QString problem = writeHeatMap(drawHeatMap(labels, oneWins), line.value(pngOption));
        if (!problem.isEmpty())
            throw cli::CommandError("cannot write the heat map " + problem.toStdString());
    }

    if (parser.isSet(csvOption)) {
        out << "one,two,oneWins,twoWins,bothFell,turnCap,error,meanTurns\n";
        for (std::size_t a = 0; a < n; ++a) {
            for (std::size_t b = 0; b < n; ++b) {
                const OutcomeOdds& o = matrix[a * n + b];
                out << a << ',' << b << ',' << shortest(o.oneWins) << ',' << shortest(o.twoWins)
                    << ',' << shortest(o.bothFell) << ',' << shortest(o.turnCap) << ','
                    << shortest(o.error) << ',' << shortest(o.meanTurns) << '\n';
            }
        }
    } else if (parser.isSet(jsonOption)) {
        QJsonArray pairs;
        for (std::size_t a = 0; a < n; ++a) {
            for (std::size_t b = 0; b < n; ++b) {
                const OutcomeOdds& o = matrix[a * n + b];
                pairs.append(QJsonObject{
                    {"one", static_cast<int>(a)},
                    {"two", static_cast<int>(b)},
                    {"oneWins", o.oneWins},
                    {"twoWins", o.twoWins},
                    {"bothFell", o.bothFell},
                    {"turnCap", o.turnCap},
                    {"error", o.error},
                    {"meanTurns", o.meanTurns},
                });
            }
        }
        out << QJsonDocument(pairs).toJson(QJsonDocument::Compact).toStdString() << "\n";
    } else {
        // Each monster's chance of winning, averaged over every opponent as
        // Monster Two and as Monster One.
        std::vector<double> wins(n, 0.0);
        for (std::size_t a = 0; a < n; ++a) {
            for (std::size_t b = 0; b < n; ++b) {
                wins[a] += matrix[a * n + b].oneWins;
                wins[b] += matrix[a * n + b].twoWins;
            }
        }
        std::vector<std::size_t> order(n);
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(),
                         [&](std::size_t x, std::size_t y) { return wins[x] > wins[y]; });
        out << "Rank  Monster  Name        Mean chance of winning\n";
        for (std::size_t r = 0; r < n; ++r) {
            const std::size_t i = order[r];
            char row[160];
            std::snprintf(row, sizeof row, "%4zu  %7zu  %-10s  %21.2f%%\n", r + 1, i,
                          names[i].c_str(), 100.0 * wins[i] / (2.0 * static_cast<double>(n)));
            out << row;
        }
    }
    return cli::kExitSuccess;
}
