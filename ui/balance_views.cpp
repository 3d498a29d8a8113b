#include "ui/balance_views.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QToolTip>
#include <algorithm>
#include <cmath>

#include "battle/outcome_columns.h"
#include "charts/sweep_chart.h"
#include "ui/shown_words.h"

namespace karnwick::balance {

MatchUpView::MatchUpView(QWidget* parent) : QWidget(parent) {
    setMinimumSize(360, 300);
    setAccessibleName(QStringLiteral("Match-up chart"));
}

void MatchUpView::setPicture(charts::MatchUpChart picture) {
    m_picture = std::move(picture);
    update();
}

void MatchUpView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    m_spots.clear();
    charts::paintMatchUpChart(painter, rect(), m_picture, &m_spots);
}

bool MatchUpView::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip) return QWidget::event(event);
    auto* help = static_cast<QHelpEvent*>(event);
    for (const charts::ChartSpot& spot : m_spots) {
        if (spot.place.contains(help->pos())) {
            QToolTip::showText(help->globalPos(), spot.text, this);
            return true;
        }
    }
    QToolTip::hideText();
    return true;
}

namespace {

// The least text a name may shrink to when the map is scaled into the window.
int readableTextPixels() {
    return QFontInfo(QFontDatabase::systemFont(QFontDatabase::SmallestReadableFont)).pixelSize();
}

}  // namespace

RosterView::RosterView(QWidget* parent) : QWidget(parent) {
    setMinimumSize(360, 360);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(QStringLiteral("Roster heat map"));
    setAccessibleDescription(
        sideText(0) +
        "'s chance of winning for every pair; arrow keys move, Enter chooses the pair");
}

void RosterView::setPicture(charts::HeatMap picture) {
    m_picture = std::move(picture);
    m_placement.reset();
    m_drawn = QImage();
    update();
}

void RosterView::setChances(const std::vector<CellChance>& chances) {
    std::vector<std::size_t> cells;
    cells.reserve(chances.size());
    m_picture.undecided.resize(m_picture.oneWins.size(), 0.0);
    for (const CellChance& chance : chances) {
        if (chance.at >= m_picture.oneWins.size()) continue;
        m_picture.oneWins[chance.at] = chance.oneWins;
        m_picture.undecided[chance.at] = chance.undecided;
        cells.push_back(chance.at);
    }
    if (cells.empty()) return;
    if (!m_drawn.isNull()) {
        QPainter painter(&m_drawn);
        placement().paintCells(painter, m_picture, cells);
    }
    update();
}

const charts::HeatMapPlacement& RosterView::placement() const {
    if (!m_placement) m_placement.emplace(m_picture.labels, rect(), readableTextPixels());
    return *m_placement;
}

QPoint RosterView::cellCentre(int one, int two) const {
    return placement().cell(one, two).center().toPoint();
}

void RosterView::setChanges(std::vector<int16_t> marked, std::string whatIf) {
    if (m_picture.marked == marked && m_picture.whatIf == whatIf) return;
    m_picture.marked = std::move(marked);
    m_picture.whatIf = std::move(whatIf);
    m_drawn = QImage();
    update();
}

QRectF RosterView::cellRect(int one, int two) const {
    return placement().cell(one, two);
}

void RosterView::setCurrentPair(int one, int two) {
    const int n = static_cast<int>(m_picture.labels.size());
    if (one < 0 || two < 0 || (n > 0 && (one >= n || two >= n))) return;
    m_cursor = {one, two};
    update();
}

void RosterView::resizeEvent(QResizeEvent*) {
    m_placement.reset();
    m_drawn = QImage();
}

void RosterView::paintEvent(QPaintEvent* event) {
    const qreal ratio = devicePixelRatioF();
    if (m_drawn.isNull()) {
        m_drawn = QImage(size() * ratio, QImage::Format_RGB32);
        m_drawn.setDevicePixelRatio(ratio);
        QPainter painter(&m_drawn);
        painter.fillRect(rect(), Qt::white);
        placement().paint(painter, m_picture);
    }
    QPainter painter(this);
    const QRect dirty = event->rect();
    painter.drawImage(dirty, m_drawn,
                      QRectF(QPointF(dirty.topLeft()) * ratio, QSizeF(dirty.size()) * ratio));
    if (hasFocus() && !m_picture.labels.empty()) {
        painter.setPen(QPen(Qt::black, 2));
        painter.drawRect(placement().cell(m_cursor.first, m_cursor.second));
    }
}

void RosterView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    if (const auto cell = placement().cellAt(event->position())) {
        m_cursor = *cell;
        update();
        emit pairChosen(cell->first, cell->second);
    }
}

void RosterView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    if (const auto cell = placement().cellAt(event->position())) {
        m_cursor = *cell;
        emit pairOpened(cell->first, cell->second);
    }
}

void RosterView::keyPressEvent(QKeyEvent* event) {
    const int n = static_cast<int>(m_picture.labels.size());
    if (n == 0) return QWidget::keyPressEvent(event);
    auto& [row, column] = m_cursor;
    switch (event->key()) {
        case Qt::Key_Up:
            row = std::max(0, row - 1);
            break;
        case Qt::Key_Down:
            row = std::min(n - 1, row + 1);
            break;
        case Qt::Key_Left:
            column = std::max(0, column - 1);
            break;
        case Qt::Key_Right:
            column = std::min(n - 1, column + 1);
            break;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            emit pairOpened(row, column);
            return;
        case Qt::Key_Space:
            emit pairChosen(row, column);
            return;
        default:
            return QWidget::keyPressEvent(event);
    }
    update();
}

bool RosterView::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const auto cell = placement().cellAt(help->pos());
        const std::size_t n = m_picture.labels.size();
        if (!cell) {
            QToolTip::hideText();
            return true;
        }
        const auto at =
            static_cast<std::size_t>(cell->first) * n + static_cast<std::size_t>(cell->second);
        QString text =
            QString::fromStdString(m_picture.labels[static_cast<std::size_t>(cell->first)]) +
            " against " +
            QString::fromStdString(m_picture.labels[static_cast<std::size_t>(cell->second)]) + ": ";
        text += m_odds && at < m_odds->size() && !std::isnan(m_picture.oneWins[at])
                    ? qText(oddsSentence((*m_odds)[at]))
                    : QStringLiteral("not worked out yet");
        QToolTip::showText(help->globalPos(), text, this);
        return true;
    }
    return QWidget::event(event);
}

SweepView::SweepView(QWidget* parent) : QWidget(parent) {
    setMinimumSize(420, 300);
    setAccessibleName(QStringLiteral("Sweep chart"));
}

void SweepView::setPicture(charts::SweepCurve picture, std::string whatIf,
                           std::optional<int> current) {
    m_picture = std::move(picture);
    m_whatIf = std::move(whatIf);
    m_current = current;
    update();
}

void SweepView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    if (!m_picture.values.empty()) charts::paintSweepChart(painter, rect(), chart());
    if (!m_working) return;
    painter.fillRect(rect(), QColor(255, 255, 255, 170));
    painter.setPen(Qt::black);
    painter.drawText(rect(), Qt::AlignCenter, QStringLiteral("working\u2026"));
}

void SweepView::setWorking(bool working) {
    if (m_working == working) return;
    m_working = working;
    update();
}

charts::SweepChart SweepView::chart() const {
    charts::SweepChart chart = charts::sweepChartOf(m_picture);
    chart.whatIf = m_whatIf;
    chart.current = m_current;
    return chart;
}

bool SweepView::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip) return QWidget::event(event);
    auto* help = static_cast<QHelpEvent*>(event);
    const charts::SweepChart shown = chart();
    const auto at = charts::sweepChartValueAt(shown, rect(), help->pos());
    if (!at) {
        QToolTip::hideText();
        return true;
    }
    QToolTip::showText(
        help->globalPos(),
        QStringLiteral("%1 %2: ").arg(QString::fromStdString(shown.field)).arg(shown.values[*at]) +
            qText(oddsSentence(shown.odds[*at])),
        this);
    return true;
}

}  // namespace karnwick::balance
