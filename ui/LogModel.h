// The lines of the log page, oldest first, at most a set number of them: the oldest
// go when more arrive (the daily file keeps everything).
#pragma once

#include <QAbstractListModel>
#include <QString>
#include <deque>
#include <vector>

class CLogModel : public QAbstractListModel {
    Q_OBJECT
public:
    static constexpr int kDefaultMaxLines = 100'000;

    explicit CLogModel(int maxLines = kDefaultMaxLines, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // Appends a batch of lines in one step, dropping the oldest beyond the limit.
    void Append(std::vector<QString> lines);
    void Clear();
    const QString& Line(int row) const { return m_lines.at(static_cast<std::size_t>(row)); }

private:
    std::size_t m_maxLines;
    std::deque<QString> m_lines;
};
