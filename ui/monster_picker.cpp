#include "ui/monster_picker.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QLineEdit>

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

}  // namespace karnwick::balance
