#include "ui/sweep_tab.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "battle/battle_fields.h"
#include "battle/sweep.h"
#include "charts/sweep_chart.h"
#include "ui/balance_text.h"
#include "ui/balance_views.h"
#include "ui/monster_picker.h"
#include "ui/shown_words.h"

namespace karnwick::balance {

SweepTab::SweepTab(QWidget* parent) : BalanceTab(parent) {
    createControls();
    // Typed numbers apply once the typing pauses, not at every digit: "150"
    // is not swept as 1, 15 and 150.
    m_typing = new QTimer(this);
    m_typing->setSingleShot(true);
    m_typing->setInterval(kTypingPause);
    connect(m_typing, &QTimer::timeout, this, [this] { request(); });
    auto typed = [this] { m_typing->start(); };
    // Another number to sweep starts from its own default range.
    auto chosen = [this] {
        m_rangeEdited = false;
        followRange();
        request();
    };
    connect(m_side, &QComboBox::currentIndexChanged, this, chosen);
    connect(m_field, &QComboBox::currentIndexChanged, this, chosen);
    for (QSpinBox* box : {m_from, m_to})
        connect(box, &QSpinBox::valueChanged, this, [this, typed] {
            m_rangeEdited = true;
            typed();
        });
    connect(m_step, &QSpinBox::valueChanged, this, typed);
    // Enter, or leaving the box, applies at once.
    auto finished = [this] {
        if (m_typing->isActive()) request();
    };
    for (QSpinBox* box : {m_from, m_to, m_step})
        connect(box, &QSpinBox::editingFinished, this, finished);
    connect(m_target, &QDoubleSpinBox::editingFinished, this, finished);
    connect(m_hasTarget, &QCheckBox::toggled, this, [this] { request(); });
    connect(m_target, &QDoubleSpinBox::valueChanged, this, typed);
}

bool SweepTab::isSettled() const {
    return !m_typing->isActive() && BalanceTab::isSettled();
}

void SweepTab::addControlRows(QVBoxLayout* layout) {
    // Two rows, what is swept and over which range, so the window fits 800
    // pixels across.
    auto* what = new QHBoxLayout;
    auto* range = new QHBoxLayout;
    QHBoxLayout* controls = what;
    auto add = [&](const QString& label, QWidget* widget) {
        auto* text = new QLabel(label, this);
        text->setBuddy(widget);
        // Room for the whole word and its underlined letter: a window
        // manager's font cut "To" short at its plain size.
        text->setContentsMargins(0, 0, 2, 0);
        text->setMinimumWidth(text->sizeHint().width() + text->fontMetrics().averageCharWidth());
        controls->addWidget(text);
        controls->addWidget(widget);
    };
    add(QStringLiteral("Mo&nster"), m_side);
    add(QStringLiteral("&Field"), m_field);
    what->addWidget(m_hasTarget);
    what->addWidget(m_target);
    what->addStretch(1);
    controls = range;
    add(QStringLiteral("Fr&om"), m_from);
    add(QStringLiteral("&To"), m_to);
    add(QStringLiteral("St&ep"), m_step);
    range->addStretch(1);
    layout->addLayout(what);
    layout->addLayout(range);
}

void SweepTab::createControls() {
    m_side = new QComboBox(this);
    m_side->addItems({sideText(0), sideText(1)});
    m_side->setAccessibleName(QStringLiteral("Swept monster"));
    // The tab opens on Monster Two's hit points.
    m_side->setCurrentIndex(1);
    m_field = new QComboBox(this);
    for (const std::string_view name : kBattleFields)
        m_field->addItem(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
    m_field->setAccessibleName(QStringLiteral("Swept field"));
    auto spin = [this](const QString& name, int low) {
        auto* box = new QSpinBox(this);
        box->setRange(low, INT16_MAX);
        box->setAccessibleName(name);
        return box;
    };
    m_from = spin(QStringLiteral("From"), INT16_MIN);
    m_to = spin(QStringLiteral("To"), INT16_MIN);
    m_step = spin(QStringLiteral("Step"), 1);
    m_hasTarget = new QCheckBox(QStringLiteral("T&arget"), this);
    m_hasTarget->setAccessibleName(QStringLiteral("Draw a target"));
    m_target = new QDoubleSpinBox(this);
    m_target->setRange(0, 100);
    m_target->setSuffix(QStringLiteral("%"));
    m_target->setValue(50);
    m_target->setAccessibleName("Target chance of " + sideText(0) + " winning");
    m_view = new SweepView(this);
    m_progress = new QProgressBar(this);
    m_progress->setAccessibleName(QStringLiteral("Sweep progress"));
    m_progress->setFormat(QStringLiteral("%v of %m values"));
    m_progress->hide();
    QHBoxLayout* pair = createPickerRow(this, {sideText(0), sideText(1)}, m_pickers);
    for (int side = 0; side < 2; ++side)
        connect(m_pickers[static_cast<std::size_t>(side)], &MonsterPicker::picked, this,
                [this, side](int index) { emit monsterPicked(side, index); });
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(pair);
    addControlRows(layout);
    layout->addWidget(m_progress);
    layout->addWidget(m_view, 1);
}

void SweepTab::setLabels(const std::vector<std::string>& labels) {
    for (MonsterPicker* picker : m_pickers) picker->setLabels(labels);
}

void SweepTab::showChoices(const WhatIfState& state) {
    for (std::size_t side = 0; side < 2; ++side)
        m_pickers[side]->showChoice(state.arena.chosen[side]);
}

void SweepTab::showState(const WhatIfState& state) {
    m_state = state;
    showChoices(state);
    followRange();
    request();
}

void SweepTab::followRange() {
    if (m_rangeEdited) return;
    const QSignalBlocker a(m_from), b(m_to);
    const auto field = battleField(m_field->currentText().toStdString());
    const int now = m_state.changedRecord(m_side->currentIndex()).*field;
    m_from->setValue(1);
    m_to->setValue(std::max(100, std::min<int>(INT16_MAX, 2 * now)));
}

charts::SweepCurve SweepTab::curveAsked(const Fighters& fighters) const {
    charts::SweepCurve picture;
    picture.one = *m_state.arena.chosen[0];
    picture.two = *m_state.arena.chosen[1];
    picture.oneName = shownText(fighters[0].name);
    picture.twoName = shownText(fighters[1].name);
    picture.swept = m_side->currentIndex() == 0 ? picture.one : picture.two;
    picture.field = m_field->currentText().toStdString();
    picture.from = m_from->value();
    picture.to = m_to->value();
    picture.step = m_step->value();
    if (m_hasTarget->isChecked()) picture.target = m_target->value() / 100.0;
    picture.values = sweepValues(static_cast<int16_t>(picture.from),
                                 static_cast<int16_t>(picture.to), picture.step);
    return picture;
}

void SweepTab::request() {
    m_typing->stop();
    m_target->setEnabled(m_hasTarget->isChecked());
    m_done = false;
    if (!m_state.paired()) {
        lane().cancel();
        m_progress->hide();
        m_view->setPicture({});
        return;
    }
    const Fighters fighters{m_state.changedRecord(0), m_state.changedRecord(1)};
    charts::SweepCurve picture = curveAsked(fighters);
    SweepPlan plan;
    plan.field = battleField(picture.field);
    // The swept monster takes the value on every side it fights on.
    plan.sides = {picture.one == picture.swept, picture.two == picture.swept};
    plan.values = picture.values;
    m_view->setWorking(true);
    m_progress->setRange(0, static_cast<int>(plan.values.size()));
    m_progress->setValue(0);
    m_progress->setVisible(plan.values.size() > kQuickSweep);
    const int current = m_state.changedRecord(m_side->currentIndex()).*plan.field;
    lane().run([this, fighters, plan, picture, current, changes = m_state.changes](
                   const WorkLane::Stale& stale, quint64 generation) mutable {
        // One pass over every value, as `karnwick sweep` makes it: the same
        // tables built once and the same threads. A newer request stops a
        // stale pass at its next batch of values rather than wait for its end.
        struct Superseded {};
        try {
            picture.odds =
                sweepOdds(fighters, plan, workerThreads(), [&](std::size_t done, std::size_t) {
                    if (stale()) throw Superseded{};
                    postIfCurrent(lane(), generation,
                                  [this, done] { m_progress->setValue(static_cast<int>(done)); });
                });
        } catch (const Superseded&) {
            return;
        }
        if (stale()) return;
        postIfCurrent(lane(), generation, [this, picture = std::move(picture), changes, current] {
            m_changes = changes;
            m_view->setPicture(
                picture, whatIfTitle(changesOfPair(changes, picture.one, picture.two)), current);
            m_view->setWorking(false);
            m_progress->hide();
            m_done = true;
        });
    });
}

QString SweepTab::copiedText() const {
    if (!m_done || !isSettled()) return {};
    const charts::SweepCurve& shown = m_view->picture();
    return whatIfLine(changesOfPair(m_changes, shown.one, shown.two)) +
           tabSeparated(sweepTable(shown.values, shown.odds));
}

QString SweepTab::command(const WhatIfState& state) const {
    if (!state.paired()) return {};
    const int one = *state.arena.chosen[0], two = *state.arena.chosen[1];
    const int swept = m_side->currentIndex() == 0 ? one : two;
    QString line = QStringLiteral("sweep %1 %2 %3.%4 %5..%6")
                       .arg(one)
                       .arg(two)
                       .arg(swept)
                       .arg(m_field->currentText())
                       .arg(m_from->value())
                       .arg(m_to->value());
    if (m_step->value() > 1) line += QStringLiteral(" --step %1").arg(m_step->value());
    // The numbers Ctrl+C copies: the CSV, whether or not a target is drawn.
    line += " --csv";
    return line + setOptions(changesOfPair(state.changes, one, two));
}

QString SweepTab::pictureName() const {
    const charts::SweepCurve& shown = m_view->picture();
    return QStringLiteral("sweep-%1-%2.png")
        .arg(shown.swept)
        .arg(QString::fromStdString(shown.field));
}

QImage SweepTab::picture() const {
    return charts::drawSweepChart(m_view->chart());
}

}  // namespace karnwick::balance
