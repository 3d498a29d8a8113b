#include "ui/sweep_tab.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "battle/battle_fields.h"
#include "battle/sweep.h"
#include "charts/sweep_chart.h"
#include "ui/balance_text.h"
#include "ui/balance_views.h"

namespace karnwick::balance {

SweepTab::SweepTab(QWidget* parent) : BalanceTab(parent) {
    createControls();
    auto changed = [this] { request(); };
    connect(m_side, &QComboBox::currentIndexChanged, this, changed);
    connect(m_field, &QComboBox::currentIndexChanged, this, changed);
    for (QSpinBox* box : {m_from, m_to})
        connect(box, &QSpinBox::valueChanged, this, [this] {
            m_rangeEdited = true;
            request();
        });
    connect(m_step, &QSpinBox::valueChanged, this, changed);
    connect(m_hasTarget, &QCheckBox::toggled, this, changed);
    connect(m_target, &QDoubleSpinBox::valueChanged, this, changed);
}

void SweepTab::createControls() {
    m_side = new QComboBox(this);
    m_side->addItems({QStringLiteral("Monster One"), QStringLiteral("Monster Two")});
    m_side->setAccessibleName(QStringLiteral("Swept monster"));
    m_field = new QComboBox(this);
    for (const std::string_view name : kBattleFields)
        m_field->addItem(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
    m_field->setAccessibleName(QStringLiteral("Swept field"));
    auto spin = [this](const QString& name, int low) {
        auto* box = new QSpinBox(this);
        box->setRange(low, INT16_MAX);
        box->setAccessibleName(name);
        box->setKeyboardTracking(false);
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
    m_target->setAccessibleName(QStringLiteral("Target chance of Monster One winning"));
    m_target->setKeyboardTracking(false);
    m_view = new SweepView(this);
    auto* controls = new QHBoxLayout;
    auto add = [&](const QString& label, QWidget* widget) {
        auto* text = new QLabel(label, this);
        text->setBuddy(widget);
        // Room for the underlined letter: "To" was cut short without it.
        text->setContentsMargins(0, 0, 2, 0);
        controls->addWidget(text);
        controls->addWidget(widget);
    };
    add(QStringLiteral("Mo&nster"), m_side);
    add(QStringLiteral("&Field"), m_field);
    add(QStringLiteral("Fr&om"), m_from);
    add(QStringLiteral("&To"), m_to);
    add(QStringLiteral("St&ep"), m_step);
    controls->addWidget(m_hasTarget);
    controls->addWidget(m_target);
    controls->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addWidget(m_view, 1);
}

void SweepTab::showState(const WhatIfState& state, bool fresh) {
    m_state = state;
    if (fresh) startOver();
    followRange();
    request();
}

void SweepTab::startOver() {
    const QSignalBlocker a(m_side), b(m_field), c(m_from), d(m_to), e(m_step), f(m_hasTarget);
    m_side->setCurrentIndex(1);
    m_field->setCurrentIndex(0);
    m_step->setValue(1);
    m_hasTarget->setChecked(false);
    m_rangeEdited = false;
}

void SweepTab::followRange() {
    if (m_rangeEdited) return;
    const QSignalBlocker a(m_from), b(m_to);
    m_from->setValue(1);
    m_to->setValue(std::max(100, std::min<int>(INT16_MAX, 2 * m_state.changed(1).hp)));
}

charts::SweepCurve SweepTab::curveAsked(const Fighters& fighters) const {
    charts::SweepCurve picture;
    picture.one = *m_state.arena.chosen[0];
    picture.two = *m_state.arena.chosen[1];
    picture.oneName = trimmedName(fighters[0]);
    picture.twoName = trimmedName(fighters[1]);
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
    m_target->setEnabled(m_hasTarget->isChecked());
    m_done = false;
    if (!m_state.paired()) {
        lane().cancel();
        m_view->setPicture({});
        return;
    }
    const Fighters fighters{m_state.changed(0), m_state.changed(1)};
    charts::SweepCurve picture = curveAsked(fighters);
    SweepPlan plan;
    plan.field = battleField(picture.field);
    // The swept monster takes the value on every side it fights on.
    plan.sides = {picture.one == picture.swept, picture.two == picture.swept};
    plan.values = picture.values;
    lane().run([this, fighters, plan, picture, changes = m_state.changes](
                   const WorkLane::Stale& stale, quint64 generation) mutable {
        // A few values at a time, so a newer request need not wait for a long sweep.
        constexpr std::size_t kChunk = 16;
        SweepPlan part = plan;
        for (std::size_t first = 0; first < plan.values.size() && !stale(); first += kChunk) {
            part.values.assign(plan.values.begin() + static_cast<std::ptrdiff_t>(first),
                               plan.values.begin() + static_cast<std::ptrdiff_t>(std::min(
                                                         first + kChunk, plan.values.size())));
            const std::vector<OutcomeOdds> odds = sweepOdds(fighters, part, workerThreads());
            picture.odds.insert(picture.odds.end(), odds.begin(), odds.end());
        }
        if (stale()) return;
        postIfCurrent(lane(), generation, [this, picture = std::move(picture), changes] {
            m_changes = changes;
            m_view->setPicture(picture,
                               whatIfTitle(changesOfPair(changes, picture.one, picture.two)));
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
