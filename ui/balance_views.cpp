#include "ui/balance_views.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QToolTip>
#include <algorithm>
#include <cmath>

namespace karnwick::balance {

QString percentText(double chance) {
    return QString::number(100.0 * chance, 'f', 2) + "%";
}

QString oddsInWords(const OutcomeOdds& o) {
    QString text = "Monster One wins " + percentText(o.oneWins) + ", Monster Two wins " +
                   percentText(o.twoWins);
    if (o.bothFell > 0) text += ", both fall " + percentText(o.bothFell);
    if (o.turnCap > 0) text += ", 667-turn cap " + percentText(o.turnCap);
    if (o.error > 0) text += ", run-time error " + percentText(o.error);
    return text + ", " + QString::number(o.meanTurns, 'f', 1) + " turns on average";
}

namespace {

// Bars of `chances` (value, chance) in `area`, under a heading; wide ranges
// are gathered into at most `most` bars.
void paintDistribution(QPainter& painter, const QRectF& area, const QString& heading,
                       const std::vector<std::pair<int, double>>& chances, const QColor& colour,
                       int most) {
    painter.setPen(Qt::black);
    painter.drawText(QRectF(area.left(), area.top(), area.width(), 18), Qt::AlignLeft, heading);
    const QRectF plot = area.adjusted(0, 20, 0, -16);
    if (chances.empty() || plot.height() <= 0) return;
    const int low = chances.front().first, high = chances.back().first;
    const int width = std::max(1, (high - low + most) / most);
    std::vector<double> bars(static_cast<std::size_t>((high - low) / width + 1), 0.0);
    for (const auto& [value, chance] : chances)
        bars[static_cast<std::size_t>((value - low) / width)] += chance;
    const double peak = *std::max_element(bars.begin(), bars.end());
    const double barWidth = plot.width() / static_cast<double>(bars.size());
    for (std::size_t i = 0; i < bars.size(); ++i) {
        const double h = peak > 0 ? bars[i] / peak * plot.height() : 0;
        painter.fillRect(QRectF(plot.left() + static_cast<double>(i) * barWidth, plot.bottom() - h,
                                std::max(1.0, barWidth - 1), h),
                         colour);
    }
    painter.setPen(Qt::black);
    painter.drawLine(plot.bottomLeft(), plot.bottomRight());
    painter.drawText(QRectF(plot.left(), plot.bottom() + 1, plot.width(), 15), Qt::AlignLeft,
                     QString::number(low));
    painter.drawText(QRectF(plot.left(), plot.bottom() + 1, plot.width(), 15), Qt::AlignRight,
                     QString::number(high));
}

}  // namespace

void paintMatchUp(QPainter& painter, const QRect& area, const MatchUpPicture& picture) {
    painter.fillRect(area, Qt::white);
    painter.setPen(Qt::black);
    const QRectF all = QRectF(area).adjusted(10, 8, -10, -8);
    painter.drawText(QRectF(all.left(), all.top(), all.width(), 20), Qt::AlignLeft,
                     QString::fromStdString(picture.title));
    if (!picture.odds) {
        painter.drawText(all, Qt::AlignCenter, QStringLiteral("Choose two monsters in the arena."));
        return;
    }
    const BattleOdds& odds = *picture.odds;
    const std::pair<QString, double> rows[] = {
        {"Monster One wins (" + QString::fromStdString(picture.names[0]) + ")", odds.oneWins},
        {"Monster Two wins (" + QString::fromStdString(picture.names[1]) + ")", odds.twoWins},
        {QStringLiteral("Both fell at the start"), odds.bothFell},
        {QStringLiteral("Ended by the 667-turn cap"), odds.turnCap},
        {QStringLiteral("Stopped by a run-time error"), odds.error},
    };
    const QColor colours[] = {QColor(178, 24, 43), QColor(33, 102, 172), QColor(120, 120, 120),
                              QColor(230, 160, 30), QColor(90, 60, 140)};
    const double labelWidth = std::min(260.0, all.width() * 0.4);
    const double barLeft = all.left() + labelWidth + 6;
    const double barWidth = std::max(10.0, all.right() - 70 - barLeft);
    double y = all.top() + 28;
    for (int i = 0; i < 5; ++i, y += 22) {
        painter.setPen(Qt::black);
        painter.drawText(QRectF(all.left(), y, labelWidth, 18), Qt::AlignLeft | Qt::AlignVCenter,
                         rows[i].first);
        painter.fillRect(QRectF(barLeft, y + 2, barWidth, 14), QColor(235, 235, 235));
        painter.fillRect(
            QRectF(barLeft, y + 2, barWidth * std::clamp(rows[i].second, 0.0, 1.0), 14),
            colours[i]);
        painter.drawText(QRectF(barLeft + barWidth + 4, y, 66, 18),
                         Qt::AlignRight | Qt::AlignVCenter, percentText(rows[i].second));
    }
    std::vector<std::pair<int, double>> turns;
    for (int t = 1; t <= kMaxTurns; ++t)
        if (odds.turns[static_cast<std::size_t>(t - 1)] > 0)
            turns.emplace_back(t, odds.turns[static_cast<std::size_t>(t - 1)]);
    const double rest = all.bottom() - y - 6;
    const QRectF turnArea(all.left(), y + 6, all.width(), rest / 2 - 6);
    paintDistribution(
        painter, turnArea,
        "Turns the battle lasts (mean " + QString::number(odds.meanTurns, 'f', 2) + ")", turns,
        QColor(90, 90, 90), 80);
    const double half = (all.width() - 20) / 2;
    for (int side = 0; side < 2; ++side) {
        const QRectF hpArea(all.left() + side * (half + 20), turnArea.bottom() + 8, half,
                            rest / 2 - 8);
        paintDistribution(painter, hpArea,
                          QStringLiteral("%1's hit points at the end")
                              .arg(QString::fromStdString(picture.names[side])),
                          picture.hpLeft[side], colours[side], 60);
    }
}

QImage drawMatchUp(const MatchUpPicture& picture) {
    QImage image(760, 520, QImage::Format_RGB32);
    QPainter painter(&image);
    paintMatchUp(painter, image.rect(), picture);
    return image;
}

MatchUpView::MatchUpView(QWidget* parent) : QWidget(parent) {
    setMinimumSize(420, 360);
    setAccessibleName(QStringLiteral("Match-up chart"));
}

void MatchUpView::setPicture(MatchUpPicture picture) {
    m_picture = std::move(picture);
    update();
}

void MatchUpView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintMatchUp(painter, rect(), m_picture);
}

RosterView::RosterView(QWidget* parent) : QWidget(parent) {
    setMinimumSize(360, 360);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(QStringLiteral("Roster heat map"));
    setAccessibleDescription(
        QStringLiteral("Monster One's chance of winning for every pair; arrow keys move, Enter "
                       "chooses the pair"));
}

void RosterView::setPicture(RosterPicture picture) {
    m_picture = std::move(picture);
    m_placement.reset();
    m_drawn = QImage();
    update();
}

void RosterView::setChances(const std::vector<std::pair<std::size_t, double>>& chances) {
    std::vector<std::size_t> cells;
    cells.reserve(chances.size());
    for (const auto& [at, chance] : chances) {
        if (at >= m_picture.oneWins.size()) continue;
        m_picture.oneWins[at] = chance;
        cells.push_back(at);
    }
    if (cells.empty()) return;
    if (!m_drawn.isNull()) {
        QPainter painter(&m_drawn);
        placement().paintCells(painter, m_picture, cells);
    }
    update();
}

const charts::HeatMapPlacement& RosterView::placement() const {
    if (!m_placement) m_placement.emplace(m_picture.labels, rect());
    return *m_placement;
}

QPoint RosterView::cellCentre(int one, int two) const {
    return placement().cell(one, two).center().toPoint();
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
        emit pairChosen(cell->first, cell->second);
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
                    ? oddsInWords((*m_odds)[at])
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

void SweepView::setPicture(SweepPicture picture) {
    m_picture = std::move(picture);
    update();
}

void SweepView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintSweep(painter, rect(), m_picture);
}

}  // namespace karnwick::balance
