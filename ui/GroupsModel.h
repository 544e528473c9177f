// The rows of the groups page: "Group ID" and "Name" of every group.
#pragma once

#include <QIcon>
#include <cstdint>
#include <string>
#include <vector>

#include "accounts/AccountStore.h"
#include "ui/AccountListPage.h"

class CGroupsModel : public CAccountListModel {
    Q_OBJECT
public:
    enum Column { GroupId, Name, ColumnCount };

    explicit CGroupsModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Shows `groups` (in ascending id order), replacing the rows.
    void Show(std::vector<GroupRecord> groups);
    std::int32_t IdAt(int row) const override {
        return m_groups.at(static_cast<std::size_t>(row)).id;
    }
    QString NameAt(int row) const;
    // The row of the group `id`; -1 when there is none.
    int RowOf(std::int32_t id) const override;
    std::string NameOf(std::int32_t id) const override;

private:
    std::vector<GroupRecord> m_groups;
    QIcon m_icon;
};
