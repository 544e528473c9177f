// The rows of the online-users page: one per USER command of a live session, with the
// session's current directory, last command and idle time.
#pragma once

#include <QAbstractTableModel>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

class COnlineUsersModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { User, Address, LoginTime, Idle, Directory, LastCommand, ColumnCount };

    explicit COnlineUsersModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // `when` is seconds since the epoch. A session that sent USER twice has two rows.
    void AddSession(std::uint32_t sessionId, const std::string& user, const std::string& address,
                    std::int64_t when);
    // Removes every row of the session and forgets its activity.
    void RemoveSession(std::uint32_t sessionId);
    void NoteCommand(std::uint32_t sessionId, const std::string& directory, const std::string& line,
                     std::int64_t when);
    // Removes every row; the sessions go on.
    void Clear();
    // Moves the idle column to `now`.
    void SetNow(std::int64_t now);

    std::uint32_t SessionIdAt(int row) const {
        return m_rows.at(static_cast<std::size_t>(row)).sessionId;
    }
    QString AddressAt(int row) const { return m_rows.at(static_cast<std::size_t>(row)).address; }

private:
    struct Activity {
        QString directory;
        QString lastCommand;
        std::int64_t lastTime = 0;
    };
    struct Row {
        std::uint32_t sessionId = 0;
        QString user;
        QString address;
        std::int64_t loginTime = 0;
    };
    QString Text(const Row& row, int column) const;
    void RowsOfSessionChanged(std::uint32_t sessionId);

    std::vector<Row> m_rows;
    // Last command of every live session, also of those without a row yet (the USER
    // line arrives before its row).
    std::map<std::uint32_t, Activity> m_activity;
    std::int64_t m_now = 0;
};
