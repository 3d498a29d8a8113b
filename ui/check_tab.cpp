#include "ui/check_tab.h"

#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "ui/balance_text.h"

namespace karnwick::balance {

namespace {

enum Column { kMonsterColumn, kFieldColumn, kProblemColumn };

// A finding as the table's row: who, which field, and what goes wrong.
QStringList rowOf(const GameFileProblem& p) {
    QString who = QString::fromStdString(p.file);
    if (p.monster) {
        QString name = QString::fromStdString(p.name).trimmed();
        who = QString::number(*p.monster) + (name.isEmpty() ? "" : " " + name);
    }
    const QString field =
        p.field.empty() ? QString() : QString::fromStdString(p.field + " = " + p.value);
    QString problem = QString(p.severity == Severity::Error ? "Error: " : "Warning: ") +
                      QString::fromStdString(p.effect);
    if (!p.hint.empty()) problem += " (fix: " + QString::fromStdString(p.hint) + ")";
    return {who, field, problem};
}

// Errors stop the arena or a battle; warnings are quieter surprises.
QColor severityColour(Severity severity) {
    return severity == Severity::Error ? QColor(250, 215, 215) : QColor(252, 240, 200);
}

}  // namespace

CheckTab::CheckTab(QWidget* parent) : BalanceTab(parent) {
    m_table = new QTreeWidget(this);
    m_table->setAccessibleName(QStringLiteral("Problems in the game files"));
    m_table->setHeaderLabels(
        {QStringLiteral("Monster"), QStringLiteral("Field"), QStringLiteral("Problem")});
    m_table->setRootIsDecorated(false);
    m_table->setWordWrap(true);
    m_table->setUniformRowHeights(false);
    m_table->setAlternatingRowColors(false);
    m_table->header()->setStretchLastSection(true);
    m_table->setColumnWidth(kMonsterColumn, 140);
    m_table->setColumnWidth(kFieldColumn, 170);
    auto choose = [this](QTreeWidgetItem* item) {
        const QVariant monster = item ? item->data(kMonsterColumn, Qt::UserRole) : QVariant();
        if (monster.isValid()) emit monsterChosen(monster.toInt());
    };
    connect(m_table, &QTreeWidget::itemActivated, this, choose);
    connect(m_table, &QTreeWidget::itemClicked, this, choose);
    m_summary = new QLabel(this);
    m_summary->setAccessibleName(QStringLiteral("Check summary"));
    m_summary->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_table, 1);
    layout->addWidget(m_summary);
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
    m_table->clear();
    m_summary->clear();
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
    m_table->clear();
    if (!found) {
        m_summary->setText(failure);
        return;
    }
    QList<QTreeWidgetItem*> rows;
    for (const GameFileProblem& p : found->problems) {
        auto* item = new QTreeWidgetItem(rowOf(p));
        if (p.monster) item->setData(kMonsterColumn, Qt::UserRole, *p.monster);
        for (int column = kMonsterColumn; column <= kProblemColumn; ++column)
            item->setBackground(column, severityColour(p.severity));
        rows << item;
    }
    m_table->addTopLevelItems(rows);
    m_summary->setText(checkSummary(*found));
}

QString CheckTab::copiedText() const {
    if (!m_report) return m_failure.isEmpty() ? QString() : m_failure + "\n";
    QString text = whatIfLine(m_changes);
    for (const GameFileProblem& p : m_report->problems) text += checkLine(p) + "\n";
    return text + checkSummary(*m_report) + "\n";
}

}  // namespace karnwick::balance
