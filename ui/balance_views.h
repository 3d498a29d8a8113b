#pragma once
// The charts of the Balance window's tabs as widgets: the match-up's
// outcome bars and distributions, the roster's heat map and the sweep's
// curve. Each draws through the function that also draws the saved picture.

#include <QWidget>
#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "battle/odds.h"
#include "charts/heat_map.h"
#include "charts/match_up_chart.h"
#include "charts/sweep_chart.h"
#include "charts/sweep_curve.h"

namespace karnwick::balance {

class MatchUpView : public QWidget {
    Q_OBJECT
  public:
    explicit MatchUpView(QWidget* parent = nullptr);
    void setPicture(charts::MatchUpChart picture);
    const charts::MatchUpChart& picture() const { return m_picture; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    // Hovering a histogram's bar reads it out: "turn 31: 8.91%".
    bool event(QEvent* event) override;

  private:
    charts::MatchUpChart m_picture;
    std::vector<charts::ChartSpot> m_spots;  // as last painted
};

// The heat map: hovering a cell shows the pair's odds, a click chooses the
// pair, Enter on the cell under the keyboard cursor or a double-click opens
// its match-up. A roster fills a band
// of rows at a time, so the drawing is kept and only the cells given new
// chances are painted again.
class RosterView : public QWidget {
    Q_OBJECT
  public:
    explicit RosterView(QWidget* parent = nullptr);
    void setPicture(charts::HeatMap picture);
    // New chances for some cells (a * n + b) of the picture: Monster One's
    // win, NaN for unknown, and the share ending in an error or the turn cap.
    struct CellChance {
        std::size_t at;
        double oneWins;
        double undecided;
    };
    void setChances(const std::vector<CellChance>& chances);
    const charts::HeatMap& picture() const { return m_picture; }
    // The what-if changes the picture shows: the names of the monsters they
    // touch are marked, and the title names them.
    void setChanges(std::vector<int16_t> marked, std::string whatIf);
    // The height in pixels the names are painted at: at least the system's
    // smallest readable text.
    double labelPixels() const { return placement().textPixels(); }
    // The odds of each pair for the hover text, a * n + b.
    void setOdds(const std::vector<OutcomeOdds>* odds) { m_odds = odds; }
    // The middle of the cell of pair (one, two), in widget coordinates.
    QPoint cellCentre(int one, int two) const;
    // The cell of pair (one, two), in widget coordinates.
    QRectF cellRect(int one, int two) const;
    // Puts the keyboard cursor on a pair.
    void setCurrentPair(int one, int two);
    std::pair<int, int> currentPair() const { return m_cursor; }

  signals:
    // A click chose the pair; the user stays on the map.
    void pairChosen(int one, int two);
    // Enter or a double-click: the user wants the pair's match-up.
    void pairOpened(int one, int two);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

  private:
    const charts::HeatMapPlacement& placement() const;
    charts::HeatMap m_picture;
    mutable std::optional<charts::HeatMapPlacement> m_placement;
    QImage m_drawn;  // the map as last painted; null when it must be drawn whole
    const std::vector<OutcomeOdds>* m_odds = nullptr;
    std::pair<int, int> m_cursor{0, 0};
};

class SweepView : public QWidget {
    Q_OBJECT
  public:
    explicit SweepView(QWidget* parent = nullptr);
    // `whatIf` names the changes the curve was found with, for its title block.
    void setPicture(charts::SweepCurve picture, std::string whatIf = {},
                    std::optional<int> current = {});
    const charts::SweepCurve& picture() const { return m_picture; }
    // The chart as drawn, texts and all.
    charts::SweepChart chart() const;
    // While a new curve is worked out, the old one is greyed under "working…".
    void setWorking(bool working);
    bool isWorking() const { return m_working; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    // Hovering the plot reads out the nearest value's odds.
    bool event(QEvent* event) override;

  private:
    charts::SweepCurve m_picture;
    std::string m_whatIf;
    std::optional<int> m_current;
    bool m_working = false;
};

}  // namespace karnwick::balance
