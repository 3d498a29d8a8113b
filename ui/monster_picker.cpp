#include "ui/monster_picker.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

#include "ui/shown_words.h"

namespace karnwick::balance {

MonsterPicker::MonsterPicker(const QString& side, QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setAccessibleName(side + " by index or name");
    setToolTip(QStringLiteral("Type part of a name or an index to choose ") + side);
    setMinimumContentsLength(10);
    view()->setAccessibleName(side + " list");
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    completer()->setCompletionMode(QCompleter::PopupCompletion);
    completer()->setFilterMode(Qt::MatchContains);
    completer()->setCaseSensitivity(Qt::CaseInsensitive);
    connect(this, &QComboBox::activated, this, [this](int row) {
        if (row >= 0) emit picked(row);
    });
    connect(lineEdit(), &QLineEdit::returnPressed, this, &MonsterPicker::pickTyped);
}

void MonsterPicker::pickTyped() {
    const QString typed = lineEdit()->text().trimmed();
    // A whole label, as typed, the combo box picks itself.
    if (typed.isEmpty() || findText(typed) >= 0) return;
    bool isNumber = false;
    int row = typed.toInt(&isNumber);
    if (isNumber) {
        if (row < 0 || row >= count()) return;
    } else {
        row = -1;
        for (int i = 0; i < count(); ++i) {
            if (!itemText(i).contains(typed, Qt::CaseInsensitive)) continue;
            if (row >= 0) return;  // several fit: the list is there to choose from
            row = i;
        }
        if (row < 0) return;
    }
    setCurrentIndex(row);
    emit picked(row);
}

void MonsterPicker::setLabels(const std::vector<std::string>& labels) {
    const QSignalBlocker quiet(this);
    const int shown = currentIndex();
    clear();
    QStringList items;
    for (const std::string& label : labels) items << QString::fromStdString(label);
    addItems(items);
    setCurrentIndex(shown < count() ? shown : -1);
}

void MonsterPicker::showChoice(std::optional<int16_t> index) {
    const QSignalBlocker quiet(this);
    setCurrentIndex(index && *index < count() ? *index : -1);
    if (!index) lineEdit()->clear();
}

QHBoxLayout* createPickerRow(QWidget* parent, const std::array<QString, 2>& captions,
                             std::array<MonsterPicker*, 2>& pickers) {
    auto* row = new QHBoxLayout;
    for (int side = 0; side < 2; ++side) {
        auto* picker = new MonsterPicker(sideText(side), parent);
        auto* label = new QLabel(captions[static_cast<std::size_t>(side)], parent);
        label->setBuddy(picker);
        // The whole word, underlined letter and all, under any window manager's font.
        label->setMinimumWidth(label->sizeHint().width() + label->fontMetrics().averageCharWidth());
        row->addWidget(label);
        row->addWidget(picker, 1);
        pickers[static_cast<std::size_t>(side)] = picker;
    }
    return row;
}

}  // namespace karnwick::balance
