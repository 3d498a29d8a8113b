#pragma once
// What the Balance window asks of each of its tabs: the text Ctrl+C copies,
// the picture Ctrl+S saves, and whether every request is answered. Each tab
// works its numbers out on its own lane.

#include <QImage>
#include <QString>
#include <QWidget>

#include "ui/balance_state.h"
#include "ui/work_lane.h"

namespace karnwick::balance {

class BalanceTab : public QWidget {
    Q_OBJECT
  public:
    explicit BalanceTab(QWidget* parent = nullptr);

    // The command line's CSV with tabs (check's text for Check); empty while
    // the tab is still working.
    virtual QString copiedText() const = 0;
    // The tab's chart as a saved picture; null when the tab has none.
    virtual QImage picture() const = 0;
    // The karnwick command, without the program's name and --dir, that prints
    // what the tab shows for `state`; empty while it shows nothing.
    virtual QString command(const WhatIfState& state) const = 0;
    // The file name Save Picture suggests: "roster.png".
    virtual QString pictureName() const { return {}; }
    // False for a tab without a chart: Save Picture is then unavailable.
    virtual bool hasPicture() const { return true; }
    // True when every request made so far has been answered.
    virtual bool isSettled() const { return !m_lane.busy(); }

  signals:
    // Every request of this tab is answered.
    void settled();
    // A request failed; the message says why.
    void failed(const QString& message);

  protected:
    // Every tab calls this in its destructor: work still running calls the
    // tab's own functions, which must outlive it.
    void stopWork() {
        m_lane.cancel();
        m_lane.wait();
    }
    WorkLane& lane() { return m_lane; }
    const WorkLane& lane() const { return m_lane; }

  private:
    WorkLane m_lane;
};

}  // namespace karnwick::balance
