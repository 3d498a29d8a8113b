#include "cli/outcome_output.h"

#include <unistd.h>

#include <QJsonDocument>
#include <algorithm>
#include <cmath>

#include "battle/outcome_columns.h"

namespace karnwick::cli {

QString sideText(int side) {
    return QString::fromStdString(std::string(sideName(side)));
}

void addOutcomeJson(QJsonObject& object, const OutcomeOdds& odds) {
    for (const OutcomeColumn& column : kOutcomeColumns)
        object.insert(QLatin1StringView(column.key.data(), column.key.size()), odds.*column.value);
}

std::string jsonLine(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString() + "\n";
}

std::string jsonLine(const QJsonArray& array) {
    return QJsonDocument(array).toJson(QJsonDocument::Compact).toStdString() + "\n";
}

namespace {

std::string duration(double seconds) {
    const auto s = static_cast<long long>(std::ceil(seconds));
    if (s < 60) return std::to_string(s) + " s";
    if (s < 3600) return std::to_string(s / 60) + " min " + std::to_string(s % 60) + " s";
    return std::to_string(s / 3600) + " h " + std::to_string(s % 3600 / 60) + " min";
}

}  // namespace

Progress::Progress(std::ostream& err, std::string command, std::string units, std::size_t total)
    : m_err(err),
      m_command(std::move(command)),
      m_units(std::move(units)),
      m_total(total),
      m_terminal(isatty(STDERR_FILENO) == 1) {}

Progress::~Progress() {
    clear();
}

void Progress::operator()(std::size_t done) {
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    if (elapsed < 1.0 || done == 0 || done >= m_total) return;
    const double rate = static_cast<double>(done) / elapsed;
    const double left = static_cast<double>(m_total - done) / rate;
    const std::string prefix = "karnwick " + m_command + ": ";
    if (!m_estimated) {
        m_estimated = true;
        if (elapsed + left > 60.0) {
            clear();
            m_err << prefix << m_total << " " << m_units << " at about "
                  << static_cast<long long>(rate) << " a second: about " << duration(elapsed + left)
                  << "\n"
                  << std::flush;
        }
    }
    if (!m_terminal) return;
    const std::string text = prefix + std::to_string(done) + " of " + std::to_string(m_total) +
                             " " + m_units + ", about " + duration(left) + " left";
    m_err << '\r' << text << std::string(m_shown > text.size() ? m_shown - text.size() : 0, ' ')
          << std::flush;
    m_shown = std::max(m_shown, text.size());
}

void Progress::clear() {
    if (m_shown == 0) return;
    m_err << '\r' << std::string(m_shown, ' ') << '\r' << std::flush;
    m_shown = 0;
}

}  // namespace karnwick::cli
