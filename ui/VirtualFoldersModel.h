// The rows of the Virtual Folders tab: the owner's own folders first, then the folders
// an account inherits from its groups, each with its nine-letter permission text.
// Inherited rows are shown only: they never move, change or get saved.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <vector>

#include "accounts/AccountStore.h"

class CVirtualFoldersModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Name, Path, Permissions, Group, ColumnCount };

    explicit CVirtualFoldersModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Replaces every row: `own` in order, then each group's folders labelled with its name.
    struct GroupFolders {
        QString groupName;
        std::vector<VirtualFolder> folders;
    };
    void Load(const std::vector<VirtualFolder>& own, const std::vector<GroupFolders>& inherited);
    // The text of the "Group" column of own rows (a group's own dialog shows its name).
    void SetOwnLabel(const QString& label);

    // Inserts an own folder after the last own row with "R----L---"; gives its row.
    int AddOwn(const QString& name, const QString& path);
    // Changes name and path of an own row. Nothing for an inherited row.
    void Rename(int row, const QString& name, const QString& path);
    void SetPermissions(int row, const PermissionSet& permissions);
    void Remove(int row);
    // Swaps an own row with the one above (not the first row) or, when that one is own
    // too, the one below. Gives the row the moved folder is on now.
    int MoveUp(int row);
    int MoveDown(int row);

    bool IsOwn(int row) const;
    // True when an own row other than `exceptRow` is named `name` (byte for byte, as
    // the folder table's key compares names).
    bool HasOwnName(const QString& name, int exceptRow = -1) const;
    QString Text(int row, int column) const;
    PermissionSet PermissionsAt(int row) const;
    // The own rows, in list order, as the folder table stores them.
    std::vector<VirtualFolder> OwnFolders() const;

private:
    struct Row {
        QString name;
        QString path;
        PermissionSet permissions;
        QString group;  // empty for an own row
        bool own = true;
        std::int32_t id = 0;  // the record it was read from; 0 for an added row
    };
    int OwnCount() const;
    void Swap(int a, int b);

    std::vector<Row> m_rows;
    QString m_ownLabel;
};
