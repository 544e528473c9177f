// The "Online users" tab: one row per USER command of a live session, and the context
// menu that clears the list, puts a row's address on an IP list or kicks sessions.
#pragma once

#include <QWidget>
#include <string>
#include <vector>

#include "config/IpFilter.h"

class CBanListModel;
class CLoginGuard;
class COnlineUsersModel;
class QTableView;

class COnlineUsersPage : public QWidget {
    Q_OBJECT
public:
    // `filter` is the server's own filter, whose lists are saved to `programDir`.
    COnlineUsersPage(CIpFilter& filter, std::string programDir, QWidget* parent = nullptr);

    COnlineUsersModel& Model() { return *m_model; }
    // Shows the bans of `guard` below the sessions, refreshed every second.
    void ShowBansOf(CLoginGuard& guard);
    CBanListModel& Bans() { return *m_bans; }
    QTableView& View() { return *m_view; }

public slots:
    // Removes every row; no session is touched.
    void ClearAll();
    // Puts the first selected row's address on the list and saves the list file, unless
    // an equal entry is there. A list file that cannot be written keeps the change in
    // memory only. Nothing without a selection.
    void AddSelectedToAllowList() { AddSelectedTo(CIpFilter::List::Allow); }
    void AddSelectedToDenyList() { AddSelectedTo(CIpFilter::List::Deny); }
    // Asks the session of every selected row to end; its rows go when it has ended.
    void KickSelected();

private:
    void AddSelectedTo(CIpFilter::List list);
    std::vector<int> SelectedRows() const;
    void ShowContextMenu(const QPoint& position);

    CIpFilter& m_filter;
    const std::string m_programDir;
    COnlineUsersModel* m_model;
    QTableView* m_view;
    CBanListModel* m_bans;
    QTableView* m_banView;
};
