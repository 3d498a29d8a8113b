#include "ui/match_up_tab.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "battle/battle_fields.h"
#include "battle/hit_points_left.h"
#include "data/errors.h"
#include "ui/balance_text.h"
#include "ui/balance_views.h"
#include "ui/monster_picker.h"
#include "ui/shown_words.h"

namespace karnwick::balance {

namespace {

// The odds FIGHT plays from these boxes' texts; a start that overflows ends
// every battle in that error.
BattleOdds oddsAtStart(const Fighters& fighters, const StartingTexts& start) {
    try {
        return battleOdds(fighters, start.hp, start.agility);
    } catch (const GameError&) {
        return overflowAtStart();
    }
}

std::array<charts::HitPointChances, 2> endingHitPoints(const Fighters& fighters,
                                                       const StartingTexts& start) {
    HitPointsLeft left;
    try {
        left = hitPointsLeft(fighters, start.hp, start.agility);
    } catch (const GameError&) {
        return {};
    }
    std::array<charts::HitPointChances, 2> chances;
    for (std::size_t side = 0; side < 2; ++side)
        for (const HitPointsChance& c : left[side])
            chances[side].emplace_back(c.hitPoints, c.chance);
    return chances;
}

// The texts FIGHT starts from: a changed HP or agility is the text a fresh
// choice of the changed record shows; the others are the boxes' texts.
StartingTexts startOf(const WhatIfState& state, const Fighters& fighters) {
    StartingTexts start = state.arena.start;
    const StartingTexts fresh = startingTexts(fighters);
    for (std::size_t side = 0; side < 2; ++side) {
        if (fighters[side].hp != state.arena.fighters[side].hp) start.hp[side] = fresh.hp[side];
        if (fighters[side].agility != state.arena.fighters[side].agility)
            start.agility[side] = fresh.agility[side];
    }
    return start;
}

}  // namespace

QGroupBox* MatchUpTab::createWhatIfBoxes() {
    auto* whatIf = new QGroupBox(QStringLiteral("What if"), this);
    whatIf->setAccessibleName(QStringLiteral("What-if changes"));
    auto* grid = new QGridLayout(whatIf);
    // Fifteen rows of boxes fit a window 600 pixels high.
    grid->setVerticalSpacing(1);
    for (int side = 0; side < 2; ++side)
        grid->addWidget(new QLabel(sideText(side), whatIf), 0, 2 * side + 1, 1, 2);
    for (std::size_t f = 0; f < kBattleFields.size(); ++f) {
        const QString name = QString::fromLatin1(kBattleFields[f].data(),
                                                 static_cast<qsizetype>(kBattleFields[f].size()));
        const QString role =
            QString::fromUtf8(kBattleFieldRoles[f].role.data(),
                              static_cast<qsizetype>(kBattleFieldRoles[f].role.size()));
        auto* label = new QLabel(name, whatIf);
        label->setToolTip(role);
        grid->addWidget(label, static_cast<int>(f) + 1, 0);
        std::array<QSpinBox*, 2> boxes{};
        std::array<QLabel*, 2> fileValues{};
        for (int side = 0; side < 2; ++side) {
            auto* box = new QSpinBox(whatIf);
            box->setRange(INT16_MIN, INT16_MAX);
            box->setEnabled(false);
            box->setObjectName(QStringLiteral("whatIf_%1_%2").arg(name).arg(side + 1));
            box->setAccessibleName(name + " of " + sideText(side));
            connect(box, &QSpinBox::valueChanged, this,
                    [this, side, f](int value) { emit whatIfEdited(side, f, value); });
            grid->addWidget(box, static_cast<int>(f) + 1, 2 * side + 1);
            boxes[static_cast<std::size_t>(side)] = box;
            auto* file = new QLabel(whatIf);
            file->setObjectName(QStringLiteral("file_%1_%2").arg(name).arg(side + 1));
            file->setEnabled(false);  // the greyed text of a value not in play
            grid->addWidget(file, static_cast<int>(f) + 1, 2 * side + 2);
            fileValues[static_cast<std::size_t>(side)] = file;
        }
        m_whatIf.push_back(boxes);
        m_fileValues.push_back(fileValues);
    }
    m_reset = new QPushButton(QStringLiteral("Rese&t"), whatIf);
    m_reset->setAccessibleName(QStringLiteral("Reset every what-if change"));
    connect(m_reset, &QPushButton::clicked, this, &MatchUpTab::resetAsked);
    grid->addWidget(m_reset, static_cast<int>(kBattleFields.size()) + 1, 0, 1, 5);
    // Spare height goes below the boxes, not between the header and the first row.
    grid->setRowStretch(static_cast<int>(kBattleFields.size()) + 2, 1);
    return whatIf;
}

MatchUpTab::MatchUpTab(QWidget* parent) : BalanceTab(parent) {
    m_view = new MatchUpView(this);
    QGroupBox* whatIf = createWhatIfBoxes();
    // Alt+O and Alt+W: the T of Two is Reset's.
    std::array<QString, 2> captions{sideText(0), sideText(1)};
    captions[0].insert(captions[0].indexOf('O'), '&');
    captions[1].insert(captions[1].indexOf('w'), '&');
    QHBoxLayout* pickers = createPickerRow(this, captions, m_pickers);
    for (int side = 0; side < 2; ++side)
        connect(m_pickers[static_cast<std::size_t>(side)], &MonsterPicker::picked, this,
                [this, side](int index) { emit monsterPicked(side, index); });
    auto* chart = new QVBoxLayout;
    chart->addLayout(pickers);
    chart->addWidget(m_view, 1);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(chart, 1);
    layout->addWidget(whatIf);
}

void MatchUpTab::setLabels(const std::vector<std::string>& labels) {
    for (MonsterPicker* picker : m_pickers) picker->setLabels(labels);
}

QSpinBox* MatchUpTab::whatIfBox(std::string_view field, int side) const {
    for (std::size_t f = 0; f < kBattleFields.size(); ++f)
        if (kBattleFields[f] == field) return m_whatIf[f][static_cast<std::size_t>(side)];
    return nullptr;
}

void MatchUpTab::showState(const WhatIfState& state) {
    for (std::size_t side = 0; side < 2; ++side)
        m_pickers[side]->showChoice(state.arena.chosen[side]);
    showWhatIfValues(state);
    requestOdds(state);
}

void MatchUpTab::showWhatIfValues(const WhatIfState& state) {
    for (int side = 0; side < 2; ++side) {
        const auto index = state.arena.chosen[static_cast<std::size_t>(side)];
        const MonsterStats& file = state.arena.fighters[static_cast<std::size_t>(side)];
        const MonsterStats now = state.changedRecord(side);
        for (std::size_t f = 0; f < kBattleFields.size(); ++f) {
            QSpinBox* box = m_whatIf[f][static_cast<std::size_t>(side)];
            const auto member = battleField(kBattleFields[f]);
            const QSignalBlocker quiet(box);
            box->setEnabled(index.has_value());
            box->setValue(now.*member);
            const bool isChanged = index && now.*member != file.*member;
            // The mark is the box's own font, never a style sheet: clearing a
            // sheet leaves its bold behind.
            QFont font = box->font();
            if (font.bold() != isChanged) {
                font.setBold(isChanged);
                box->setFont(font);
            }
            m_fileValues[f][static_cast<std::size_t>(side)]->setText(
                isChanged ? QStringLiteral("file: %1").arg(file.*member) : QString());
            box->setToolTip(isChanged
                                ? QStringLiteral("Changed: the file holds %1").arg(file.*member)
                                : QString());
            box->setAccessibleDescription(isChanged ? QStringLiteral("changed") : QString());
        }
    }
    m_reset->setEnabled(!state.changes.empty());
}

void MatchUpTab::requestOdds(const WhatIfState& state) {
    if (!state.paired()) {
        lane().cancel();
        m_odds.reset();
        m_view->setPicture({});
        return;
    }
    const Fighters fighters{state.changedRecord(0), state.changedRecord(1)};
    const StartingTexts start = startOf(state, fighters);
    charts::MatchUpChart picture;
    const std::array<int, 2> pair{*state.arena.chosen[0], *state.arena.chosen[1]};
    for (std::size_t side = 0; side < 2; ++side)
        picture.names[side] = shownText(fighters[side].name);
    picture.title = matchUpText(monsterLabel(pair[0], picture.names[0]),
                                monsterLabel(pair[1], picture.names[1]));
    std::vector<RecordOverride> changes = changesOfPair(state.changes, pair[0], pair[1]);
    picture.whatIf = whatIfTitle(changes);
    const Fighters files = state.arena.fighters;
    const StartingTexts fileStart = state.arena.start;
    lane().run([this, fighters, start, files, fileStart, picture, pair, changes](
                   const WorkLane::Stale& stale, quint64 generation) mutable {
        if (stale()) return;
        picture.odds = oddsAtStart(fighters, start);
        picture.hpLeft = endingHitPoints(fighters, start);
        if (!changes.empty()) picture.before = oddsAtStart(files, fileStart);
        postIfCurrent(lane(), generation, [this, picture = std::move(picture), pair, changes] {
            m_odds = picture.odds;
            m_pair = pair;
            m_changes = changes;
            m_view->setPicture(picture);
        });
    });
}

QString MatchUpTab::copiedText() const {
    if (!m_odds || !isSettled()) return {};
    return whatIfLine(m_changes) + tabSeparated(matchUpTable(m_pair[0], m_pair[1], *m_odds));
}

QString MatchUpTab::command(const WhatIfState& state) const {
    if (!state.paired()) return {};
    const int16_t one = *state.arena.chosen[0], two = *state.arena.chosen[1];
    // Changes to other monsters do not touch these odds.
    return QStringLiteral("odds %1 %2 --csv").arg(one).arg(two) +
           setOptions(changesOfPair(state.changes, one, two));
}

QString MatchUpTab::pictureName() const {
    return QStringLiteral("match-up-%1-%2.png").arg(m_pair[0]).arg(m_pair[1]);
}

QImage MatchUpTab::picture() const {
    return charts::drawMatchUpChart(m_view->picture());
}

}  // namespace karnwick::balance
