// The "Online users" tab: one row per USER command of a live session, and the context
// menu that clears the list, puts a row's address on an IP list or kicks sessions.
#pragma once

#include <QWidget>
#include <vector>

#include "config/IpFilter.h"

class CBanListModel;
class CFtpServer;
class CLoginGuard;
class COnlineUsersModel;
class QTableView;

class COnlineUsersPage : public QWidget {
    Q_OBJECT
public:
    // Kicks and list entries go to `server`, which outlives the page.
    explicit COnlineUsersPage(CFtpServer& server, QWidget* parent = nullptr);

    COnlineUsersModel& Model() { return *m_model; }
    // Shows the bans of `guard` below the sessions, refreshed every second.
    void ShowBansOf(CLoginGuard& guard);
    CBanListModel& Bans() { return *m_bans; }
    QTableView& View() { return *m_view; }

public slots:
    // Removes every row; no session is touched.
    void ClearAll();
    // Puts the first selected row's address on the server's list and saves the list
    // file, unless an equal entry is there (CAdminOperations::AddIpEntry). Nothing
    // without a selection.
    void AddSelectedToAllowList() { AddSelectedTo(CIpFilter::List::Allow); }
    void AddSelectedToDenyList() { AddSelectedTo(CIpFilter::List::Deny); }
    // Asks the session of every selected row to end; its rows go when it has ended.
    void KickSelected();

private:
    void AddSelectedTo(CIpFilter::List list);
    std::vector<int> SelectedRows() const;
    void ShowContextMenu(const QPoint& position);

    CFtpServer& m_server;
    COnlineUsersModel* m_model;
    QTableView* m_view;
    CBanListModel* m_bans;
    QTableView* m_banView;
};
