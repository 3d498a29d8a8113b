#pragma once
// A monster picker of the Balance window: a list of "index name" that
// filters as the user types part of a name or an index, for choosing a
// monster without going back to the arena.

#include <QComboBox>
#include <array>
#include <optional>
#include <string>
#include <vector>

class QHBoxLayout;

namespace karnwick::balance {

class MonsterPicker : public QComboBox {
    Q_OBJECT
  public:
    MonsterPicker(const QString& side, QWidget* parent = nullptr);

    // The roster's labels (monsterLabel), monster i's at i.
    void setLabels(const std::vector<std::string>& labels);
    // Shows the arena's choice, none before one, without picking anything.
    void showChoice(std::optional<int16_t> index);

  signals:
    // The user picked monster `index`: from the list, or by typing what names
    // one monster (its index, or part of one name only) and pressing Enter.
    void picked(int index);

  private:
    void pickTyped();
};

// The row of both sides' pickers, each after its caption (with its shortcut's
// &), as Match-up and Sweep show them; `pickers` gets the two pickers.
QHBoxLayout* createPickerRow(QWidget* parent, const std::array<QString, 2>& captions,
                             std::array<MonsterPicker*, 2>& pickers);

}  // namespace karnwick::balance
