#include "ui/BanListModel.h"

#include <algorithm>

#include "platform/Clock.h"

namespace {
bool SameBan(const BanEntry& a, const BanEntry& b) {
    return a.address == b.address && a.until == b.until && a.offences == b.offences;
}
}  // namespace

int CBanListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_bans.size());
}

int CBanListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant CBanListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid()) return {};
    const BanEntry& ban = m_bans.at(static_cast<std::size_t>(index.row()));
    switch (index.column()) {
        case Address:
            return QString::fromStdString(ban.address);
        case BannedUntil:
            return QString::fromStdString(FormatLocalTime(ban.until, "%Y-%m-%d %H:%M:%S"));
        case Offences:
            return ban.offences;
        default:
            return {};
    }
}

QVariant CBanListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal) return {};
    switch (section) {
        case Address:
            return tr("Banned address");
        case BannedUntil:
            return tr("Until");
        case Offences:
            return tr("Offences");
        default:
            return {};
    }
}

void CBanListModel::SetBans(std::vector<BanEntry> bans) {
    // Polled every second: an unchanged list leaves the view, and what is selected in
    // it, alone.
    if (std::equal(bans.begin(), bans.end(), m_bans.begin(), m_bans.end(), SameBan)) return;
    beginResetModel();
    m_bans = std::move(bans);
    endResetModel();
}
