#include "ui/UsersModel.h"

#include <algorithm>
#include <map>
#include <numeric>

#include "accounts/RecordText.h"

namespace {
constexpr std::array<const char*, CUsersModel::ColumnCount> kHeaders{
    "UserID", "Password", "Email", "Group", "Status", "Home directory"};
// The same mask whatever the password's length, so the list does not give the length away.
constexpr char16_t kMask[] = u"\u2022\u2022\u2022\u2022\u2022\u2022";
}  // namespace

CUsersModel::CUsersModel(QObject* parent) : CAccountListModel(parent), m_userIcon(":/user.svg") {}

int CUsersModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_visible.size());
}

int CUsersModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QString CUsersModel::Text(int row, int column) const {
    return m_rows[static_cast<std::size_t>(m_visible.at(static_cast<std::size_t>(row)))].cells.at(
        static_cast<std::size_t>(column));
}

QVariant CUsersModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    if (role == Qt::DecorationRole && index.column() == UserId) return m_userIcon;
    if (role != Qt::DisplayRole) return {};
    const QString text = Text(index.row(), index.column());
    if (index.column() == Password && !m_showPasswords && !text.isEmpty())
        return QString::fromUtf16(kMask);
    return text;
}

QVariant CUsersModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 ||
        section >= ColumnCount)
        return {};
    return QString(kHeaders[static_cast<std::size_t>(section)]);
}

void CUsersModel::Show(const std::vector<UserListEntry>& users) {
    beginResetModel();
    m_rows.clear();
    m_rows.reserve(users.size());
    for (const auto& [u, groupNames] : users) {
        Row row;
        row.id = u.id;
        row.cells = {QString::fromStdString(u.name),  QString::fromStdString(u.password),
                     QString::fromStdString(u.email), QString::fromStdString(groupNames),
                     QString(StatusWord(u.status)),   QString::fromStdString(u.homeDir)};
        row.searchText =
            (row.cells[UserId] + '\n' + row.cells[Email] + '\n' + row.cells[Group]).toCaseFolded();
        m_rows.push_back(std::move(row));
    }
    m_sorted.resize(m_rows.size());
    std::iota(m_sorted.begin(), m_sorted.end(), 0);
    Arrange();
    endResetModel();
}

// Sorts m_sorted by the sort column (stable, so equal texts keep the id order) and
// filters it into m_visible. Inside a model reset or a layout change.
void CUsersModel::Arrange() {
    if (m_sortColumn < 0 || m_sortColumn >= ColumnCount) {
        std::iota(m_sorted.begin(), m_sorted.end(), 0);
    } else {
        const auto column = static_cast<std::size_t>(m_sortColumn);
        const bool descending = m_sortOrder == Qt::DescendingOrder;
        std::stable_sort(m_sorted.begin(), m_sorted.end(), [&](int a, int b) {
            const QString& left = m_rows[static_cast<std::size_t>(a)].cells[column];
            const QString& right = m_rows[static_cast<std::size_t>(b)].cells[column];
            const int order = left.compare(right, Qt::CaseInsensitive);
            return descending ? order > 0 : order < 0;
        });
    }
    Filter();
}

void CUsersModel::Filter() {
    m_visible.clear();
    const QString needle = m_filter.toCaseFolded();
    for (int row : m_sorted)
        if (needle.isEmpty() || m_rows[static_cast<std::size_t>(row)].searchText.contains(needle))
            m_visible.push_back(row);
}

void CUsersModel::sort(int column, Qt::SortOrder order) {
    emit layoutAboutToBeChanged({}, VerticalSortHint);
    // The selection and the current row follow their accounts to their new places.
    const QModelIndexList before = persistentIndexList();
    std::vector<int> accounts;
    for (const QModelIndex& index : before)
        accounts.push_back(m_visible.at(static_cast<std::size_t>(index.row())));
    m_sortColumn = column;
    m_sortOrder = order;
    Arrange();
    std::vector<int> placeOf(m_rows.size(), -1);
    for (std::size_t row = 0; row < m_visible.size(); ++row)
        placeOf[static_cast<std::size_t>(m_visible[row])] = static_cast<int>(row);
    QModelIndexList after;
    for (qsizetype i = 0; i < before.size(); ++i)
        after << index(placeOf[static_cast<std::size_t>(accounts[static_cast<std::size_t>(i)])],
                       before[i].column());
    changePersistentIndexList(before, after);
    emit layoutChanged({}, VerticalSortHint);
}

void CUsersModel::SetFilter(const QString& text) {
    if (text == m_filter) return;
    beginResetModel();
    m_filter = text;
    Filter();  // the sort order is kept in m_sorted
    endResetModel();
}

void CUsersModel::SetShowPasswords(bool show) {
    if (show == m_showPasswords) return;
    m_showPasswords = show;
    if (!m_visible.empty())
        emit dataChanged(index(0, Password), index(rowCount() - 1, Password), {Qt::DisplayRole});
}

std::int32_t CUsersModel::IdAt(int row) const {
    return m_rows[static_cast<std::size_t>(m_visible.at(static_cast<std::size_t>(row)))].id;
}

int CUsersModel::RowOf(std::int32_t id) const {
    for (std::size_t i = 0; i < m_visible.size(); ++i)
        if (m_rows[static_cast<std::size_t>(m_visible[i])].id == id) return static_cast<int>(i);
    return -1;
}

std::string CUsersModel::NameOf(std::int32_t id) const {
    for (const Row& row : m_rows)
        if (row.id == id) return row.cells[UserId].toStdString();
    return {};
}
