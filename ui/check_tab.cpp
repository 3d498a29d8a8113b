#include "ui/check_tab.h"

#include <QListWidget>
#include <QVBoxLayout>

#include "ui/balance_text.h"

namespace karnwick::balance {

CheckTab::CheckTab(QWidget* parent) : BalanceTab(parent) {
    m_list = new QListWidget(this);
    m_list->setAccessibleName(QStringLiteral("Problems in the game files"));
    auto choose = [this](QListWidgetItem* item) {
        const QVariant monster = item ? item->data(Qt::UserRole) : QVariant();
        if (monster.isValid()) emit monsterChosen(monster.toInt());
    };
    connect(m_list, &QListWidget::itemActivated, this, choose);
    connect(m_list, &QListWidget::itemClicked, this, choose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
}

void CheckTab::want(const WhatIfState& state) {
    if (!m_asked) check(state);
}

void CheckTab::changesMade(const WhatIfState& state) {
    if (m_asked) check(state);
}

void CheckTab::check(const WhatIfState& state) {
    m_asked = true;
    m_report.reset();
    m_failure.clear();
    m_list->clear();
    lane().run([this, folder = state.arena.folder, changes = state.changes](const WorkLane::Stale&,
                                                                            quint64 generation) {
        std::optional<GameFilesReport> found;
        QString failure;
        try {
            found = checkGameFiles(folder, changes);
        } catch (const std::exception& error) {
            failure = QString::fromStdString(error.what());
        }
        postIfCurrent(lane(), generation, [this, found = std::move(found), failure, changes] {
            m_changes = changes;
            showFindings(found, failure);
        });
    });
}

void CheckTab::showFindings(const std::optional<GameFilesReport>& found, const QString& failure) {
    m_report = found;
    m_failure = failure;
    m_list->clear();
    if (!found) {
        m_list->addItem(failure);
        return;
    }
    for (const GameFileProblem& p : found->problems) {
        auto* item = new QListWidgetItem(checkLine(p), m_list);
        if (p.monster) item->setData(Qt::UserRole, *p.monster);
    }
    m_list->addItem(checkSummary(*found));
}

QString CheckTab::copiedText() const {
    if (!m_report) return m_failure.isEmpty() ? QString() : m_failure + "\n";
    QString text = whatIfLine(m_changes);
    for (const GameFileProblem& p : m_report->problems) text += checkLine(p) + "\n";
    return text + checkSummary(*m_report) + "\n";
}

}  // namespace karnwick::balance
