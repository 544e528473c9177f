#include "ui/VirtualFoldersModel.h"

#include <QColor>
#include <array>
#include <utility>

#include "accounts/PermissionText.h"

namespace {
constexpr std::array<const char*, CVirtualFoldersModel::ColumnCount> kHeaders{
    "Name", "Path", "Permissions", "Group"};
}

CVirtualFoldersModel::CVirtualFoldersModel(QObject* parent) : QAbstractTableModel(parent) {}

int CVirtualFoldersModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CVirtualFoldersModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QString CVirtualFoldersModel::Text(int row, int column) const {
    const Row& r = m_rows.at(static_cast<std::size_t>(row));
    switch (column) {
        case Name:
            return r.name;
        case Path:
            return r.path;
        case Permissions:
            return QString::fromStdString(PermissionsToText(r.permissions));
        default:
            return r.own ? m_ownLabel : r.group;
    }
}

QVariant CVirtualFoldersModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    if (role == Qt::DisplayRole) return Text(index.row(), index.column());
    // Inherited rows read as not editable here.
    if (role == Qt::ForegroundRole && !IsOwn(index.row())) return QColor(Qt::darkGray);
    return {};
}

QVariant CVirtualFoldersModel::headerData(int section, Qt::Orientation orientation,
                                          int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 ||
        section >= ColumnCount)
        return {};
    return QString(kHeaders[static_cast<std::size_t>(section)]);
}

void CVirtualFoldersModel::Load(const std::vector<VirtualFolder>& own,
                                const std::vector<GroupFolders>& inherited) {
    const auto rowOf = [](const VirtualFolder& f, const QString& group, bool isOwn) {
        return Row{QString::fromStdString(f.name),
                   QString::fromStdString(f.dir),
                   f.permissions,
                   group,
                   isOwn,
                   f.id};
    };
    beginResetModel();
    m_rows.clear();
    for (const VirtualFolder& f : own) m_rows.push_back(rowOf(f, {}, true));
    for (const GroupFolders& g : inherited)
        for (const VirtualFolder& f : g.folders) m_rows.push_back(rowOf(f, g.groupName, false));
    endResetModel();
}

void CVirtualFoldersModel::SetOwnLabel(const QString& label) {
    m_ownLabel = label;
    if (!m_rows.empty()) emit dataChanged(index(0, Group), index(rowCount() - 1, Group));
}

int CVirtualFoldersModel::OwnCount() const {
    int count = 0;
    while (count < rowCount() && m_rows[static_cast<std::size_t>(count)].own) ++count;
    return count;
}

bool CVirtualFoldersModel::IsOwn(int row) const {
    return row >= 0 && row < rowCount() && m_rows[static_cast<std::size_t>(row)].own;
}

bool CVirtualFoldersModel::HasOwnName(const QString& name, int exceptRow) const {
    for (int row = 0; row < OwnCount(); ++row)
        if (row != exceptRow && m_rows[static_cast<std::size_t>(row)].name == name) return true;
    return false;
}

int CVirtualFoldersModel::AddOwn(const QString& name, const QString& path) {
    const int row = OwnCount();
    beginInsertRows({}, row, row);
    m_rows.insert(m_rows.begin() + row,
                  Row{name, path, PermissionsFromText(kDefaultPermissionText), {}, true});
    endInsertRows();
    return row;
}

void CVirtualFoldersModel::Rename(int row, const QString& name, const QString& path) {
    if (!IsOwn(row)) return;
    Row& r = m_rows[static_cast<std::size_t>(row)];
    r.name = name;
    r.path = path;
    emit dataChanged(index(row, Name), index(row, Path));
}

PermissionSet CVirtualFoldersModel::PermissionsAt(int row) const {
    return m_rows.at(static_cast<std::size_t>(row)).permissions;
}

void CVirtualFoldersModel::SetPermissions(int row, const PermissionSet& permissions) {
    if (!IsOwn(row)) return;
    m_rows[static_cast<std::size_t>(row)].permissions = permissions;
    emit dataChanged(index(row, Permissions), index(row, Permissions));
}

void CVirtualFoldersModel::Remove(int row) {
    if (!IsOwn(row)) return;
    beginRemoveRows({}, row, row);
    m_rows.erase(m_rows.begin() + row);
    endRemoveRows();
}

void CVirtualFoldersModel::Swap(int a, int b) {
    std::swap(m_rows[static_cast<std::size_t>(a)], m_rows[static_cast<std::size_t>(b)]);
    emit dataChanged(index(std::min(a, b), 0), index(std::max(a, b), ColumnCount - 1));
}

int CVirtualFoldersModel::MoveUp(int row) {
    if (!IsOwn(row) || row == 0) return row;
    Swap(row, row - 1);
    return row - 1;
}

int CVirtualFoldersModel::MoveDown(int row) {
    if (!IsOwn(row) || !IsOwn(row + 1)) return row;
    Swap(row, row + 1);
    return row + 1;
}

std::vector<VirtualFolder> CVirtualFoldersModel::OwnFolders() const {
    std::vector<VirtualFolder> folders;
    for (const Row& r : m_rows) {
        if (!r.own) continue;
        folders.push_back(
            VirtualFolder{r.id, r.name.toStdString(), r.path.toStdString(), r.permissions});
    }
    return folders;
}
