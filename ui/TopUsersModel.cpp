#include "ui/TopUsersModel.h"

#include "ui/TrafficStatus.h"

namespace {

std::int64_t CountOf(const HistoryCounts& c, int column) {
    switch (column) {
        case CTopUsersModel::BytesUp:
            return c.bytesUp;
        case CTopUsersModel::BytesDown:
            return c.bytesDown;
        case CTopUsersModel::FilesUp:
            return c.filesUp;
        case CTopUsersModel::FilesDown:
            return c.filesDown;
        case CTopUsersModel::FailedTransfers:
            return c.failedTransfers;
        default:
            return c.failedLogins;
    }
}

}  // namespace

int CTopUsersModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_users.size());
}

int CTopUsersModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant CTopUsersModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const HistoryUserTotal& user = m_users[static_cast<std::size_t>(index.row())];
    const int column = index.column();
    if (column == User)
        return role == Qt::DisplayRole || role == Qt::UserRole
                   ? QVariant(QString::fromStdString(user.user))
                   : QVariant();
    const std::int64_t count = CountOf(user.counts, column);
    if (role == Qt::UserRole) return QVariant::fromValue<qlonglong>(count);
    if (role == Qt::TextAlignmentRole) return int(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole) return {};
    if (column == BytesUp || column == BytesDown) return CTrafficStatus::FormatBytes(count);
    return QString::number(count);
}

QVariant CTopUsersModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const kTitles[ColumnCount] = {
        "User",       "Uploaded",         "Downloaded",   "Files up",
        "Files down", "Failed transfers", "Failed logins"};
    return section >= 0 && section < ColumnCount ? QString(kTitles[section]) : QVariant();
}

void CTopUsersModel::SetUsers(std::vector<HistoryUserTotal> users) {
    beginResetModel();
    m_users = std::move(users);
    endResetModel();
}
