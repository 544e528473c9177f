// The rows of the users page: one per account, with its groups as names, filtered by a
// search text and sorted by any column. The whole list is given at once and held as
// text, so that filtering and sorting never read the accounts again.
#pragma once

#include <QIcon>
#include <QString>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "ui/AccountListPage.h"

class CUsersModel : public CAccountListModel {
    Q_OBJECT
public:
    enum Column { UserId, Password, Email, Group, Status, HomeDir, ColumnCount };

    explicit CUsersModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // A column below 0 restores the order of the table (ascending record id).
    void sort(int column, Qt::SortOrder order) override;

    // Shows `users` (in ascending record id), replacing the rows.
    void Show(const std::vector<UserListEntry>& users);
    // Shows only the accounts whose user name, e-mail or group names contain `text`
    // (letter case ignored); an empty text shows all.
    void SetFilter(const QString& text);
    // Passwords show as stored when on, masked when off (the start).
    void SetShowPasswords(bool show);

    std::int32_t IdAt(int row) const override;
    // The row showing the account `id`; -1 when it is not shown.
    int RowOf(std::int32_t id) const override;
    std::string NameOf(std::int32_t id) const override;
    QString Text(int row, int column) const;

private:
    struct Row {
        std::int32_t id = 0;
        std::array<QString, ColumnCount> cells;
        QString searchText;  // name, e-mail and groups, lower case
    };
    void Arrange();
    void Filter();

    std::vector<Row> m_rows;     // in record-id order
    std::vector<int> m_sorted;   // every row, in the sort order
    std::vector<int> m_visible;  // the rows passing the filter, in the sort order
    QString m_filter;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    bool m_showPasswords = false;
    QIcon m_userIcon;
};
