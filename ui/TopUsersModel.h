// The Statistics page's table of users: bytes and files each way, failed transfers and
// refused logins over the chosen days. Qt::UserRole holds the plain number of a column,
// which the page's proxy model sorts by.
#pragma once

#include <QAbstractTableModel>
#include <vector>

#include "server/TransferHistory.h"

class CTopUsersModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        User,
        BytesUp,
        BytesDown,
        FilesUp,
        FilesDown,
        FailedTransfers,
        FailedLogins,
        ColumnCount
    };

    explicit CTopUsersModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void SetUsers(std::vector<HistoryUserTotal> users);
    const std::vector<HistoryUserTotal>& Users() const { return m_users; }

private:
    std::vector<HistoryUserTotal> m_users;
};
