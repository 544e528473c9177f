#include "ui/OnlineUsersModel.h"

#include <algorithm>

#include "platform/Clock.h"

namespace {
QString IdleText(std::int64_t seconds) {
    seconds = std::max<std::int64_t>(seconds, 0);
    return QString("%1:%2:%3")
        .arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, QChar('0'))
        .arg(seconds % 60, 2, 10, QChar('0'));
}
}  // namespace

COnlineUsersModel::COnlineUsersModel(QObject* parent) : QAbstractTableModel(parent) {}

int COnlineUsersModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int COnlineUsersModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant COnlineUsersModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const kHeaders[ColumnCount] = {"User", "IP Address", "Login Time",
                                                      "Idle", "Directory",  "Last Command"};
    return section >= 0 && section < ColumnCount ? QString(kHeaders[section]) : QVariant();
}

QString COnlineUsersModel::Text(const Row& row, int column) const {
    auto found = m_activity.find(row.sessionId);
    const Activity* activity = found == m_activity.end() ? nullptr : &found->second;
    switch (column) {
        case User:
            return row.user;
        case Address:
            return row.address;
        case LoginTime:
            return QString::fromStdString(FormatLocalTime(row.loginTime, "%Y-%m-%d %H:%M:%S"));
        case Directory:
            return activity ? activity->directory : QString();
        case LastCommand:
            return activity ? activity->lastCommand : QString();
        case Idle:
            return IdleText(m_now - (activity ? activity->lastTime : row.loginTime));
        default:
            return {};
    }
}

QVariant COnlineUsersModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || role != Qt::DisplayRole) return {};
    return Text(m_rows.at(static_cast<std::size_t>(index.row())), index.column());
}

void COnlineUsersModel::AddSession(std::uint32_t sessionId, const std::string& user,
                                   const std::string& address, std::int64_t when) {
    const int row = static_cast<int>(m_rows.size());
    beginInsertRows({}, row, row);
    m_rows.push_back(
        {sessionId, QString::fromStdString(user), QString::fromStdString(address), when});
    m_now = std::max(m_now, when);
    endInsertRows();
}

void COnlineUsersModel::RemoveSession(std::uint32_t sessionId) {
    m_activity.erase(sessionId);
    for (int row = rowCount() - 1; row >= 0; --row) {
        if (m_rows[static_cast<std::size_t>(row)].sessionId != sessionId) continue;
        beginRemoveRows({}, row, row);
        m_rows.erase(m_rows.begin() + row);
        endRemoveRows();
    }
}

void COnlineUsersModel::NoteCommand(std::uint32_t sessionId, const std::string& directory,
                                    const std::string& line, std::int64_t when) {
    m_activity[sessionId] = {QString::fromStdString(directory), QString::fromStdString(line), when};
    m_now = std::max(m_now, when);
    RowsOfSessionChanged(sessionId);
}

void COnlineUsersModel::RowsOfSessionChanged(std::uint32_t sessionId) {
    for (int row = 0; row < rowCount(); ++row)
        if (m_rows[static_cast<std::size_t>(row)].sessionId == sessionId)
            emit dataChanged(index(row, Idle), index(row, LastCommand));
}

void COnlineUsersModel::Clear() {
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

void COnlineUsersModel::SetNow(std::int64_t now) {
    m_now = now;
    if (!m_rows.empty()) emit dataChanged(index(0, Idle), index(rowCount() - 1, Idle));
}
