#include "ui/GroupsModel.h"

CGroupsModel::CGroupsModel(QObject* parent) : CAccountListModel(parent), m_icon(":/group.svg") {}

int CGroupsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_groups.size());
}

int CGroupsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QString CGroupsModel::NameAt(int row) const {
    return QString::fromStdString(m_groups.at(static_cast<std::size_t>(row)).name);
}

QVariant CGroupsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    if (role == Qt::DecorationRole && index.column() == GroupId) return m_icon;
    if (role != Qt::DisplayRole) return {};
    return index.column() == GroupId ? QString::number(IdAt(index.row())) : NameAt(index.row());
}

QVariant CGroupsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal) return {};
    if (section == GroupId) return QString("Group ID");
    if (section == Name) return QString("Name");
    return {};
}

void CGroupsModel::Show(std::vector<GroupRecord> groups) {
    beginResetModel();
    m_groups = std::move(groups);
    endResetModel();
}

int CGroupsModel::RowOf(std::int32_t id) const {
    for (std::size_t i = 0; i < m_groups.size(); ++i)
        if (m_groups[i].id == id) return static_cast<int>(i);
    return -1;
}

std::string CGroupsModel::NameOf(std::int32_t id) const {
    const int row = RowOf(id);
    return row < 0 ? std::string() : m_groups[static_cast<std::size_t>(row)].name;
}
