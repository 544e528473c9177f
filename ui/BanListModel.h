// The failed-login bans in force, shown under the online users: address, end, offences.
#pragma once

#include <QAbstractTableModel>
#include <vector>

#include "server/LoginGuard.h"

class CBanListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Address, BannedUntil, Offences, ColumnCount };

    explicit CBanListModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Replaces the rows with `bans` (CLoginGuard::Bans, in address order) unless they
    // are the rows shown.
    void SetBans(std::vector<BanEntry> bans);

private:
    std::vector<BanEntry> m_bans;
};
