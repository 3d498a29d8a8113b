#include "ui/balance_tab.h"

namespace karnwick::balance {

BalanceTab::BalanceTab(QWidget* parent) : QWidget(parent), m_lane(this) {
    m_lane.onFailure([this](const QString& message) { emit failed(message); });
    m_lane.onIdle([this] { emit settled(); });
}

}  // namespace karnwick::balance
