#include "ui/LogModel.h"

#include <algorithm>

CLogModel::CLogModel(int maxLines, QObject* parent)
    : QAbstractListModel(parent), m_maxLines(static_cast<std::size_t>(std::max(1, maxLines))) {}

int CLogModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_lines.size());
}

QVariant CLogModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || role != Qt::DisplayRole) return {};
    return m_lines.at(static_cast<std::size_t>(index.row()));
}

void CLogModel::Append(std::vector<QString> lines) {
    if (lines.empty()) return;
    if (lines.size() > m_maxLines)
        lines.erase(lines.begin(), lines.end() - static_cast<long>(m_maxLines));
    const std::size_t overflow =
        m_lines.size() + lines.size() > m_maxLines ? m_lines.size() + lines.size() - m_maxLines : 0;
    if (overflow > 0) {
        beginRemoveRows({}, 0, static_cast<int>(overflow) - 1);
        m_lines.erase(m_lines.begin(), m_lines.begin() + static_cast<long>(overflow));
        endRemoveRows();
    }
    const int first = static_cast<int>(m_lines.size());
    beginInsertRows({}, first, first + static_cast<int>(lines.size()) - 1);
    for (QString& line : lines) m_lines.push_back(std::move(line));
    endInsertRows();
}

void CLogModel::Clear() {
    beginResetModel();
    m_lines.clear();
    endResetModel();
}
