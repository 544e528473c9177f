// The "Online users" tab: one row per USER command of a live session, and the context
// menu that clears the list, puts a row's address on an IP list or kicks sessions;
// below it the failed-login bans, whose menu lifts one. Fed by the server link.
#pragma once

#include <QWidget>
#include <vector>

#include "config/IpFilter.h"

class CBanListModel;
class COnlineUsersModel;
class CServerLink;
class QTableView;

class COnlineUsersPage : public QWidget {
    Q_OBJECT
public:
    explicit COnlineUsersPage(QWidget* parent = nullptr);

    // The sessions and bans shown from now on are `link`'s (the rows of another go), and
    // kicks and list entries go to it. `link` outlives the page or is replaced first.
    void SetLink(CServerLink* link);
    COnlineUsersModel& Model() { return *m_model; }
    CBanListModel& Bans() { return *m_bans; }
    QTableView& View() { return *m_view; }
    QTableView& BanView() { return *m_banView; }

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
    // Lifts the ban of the selected row below the sessions.
    void LiftSelectedBan();

private:
    void AddSelectedTo(CIpFilter::List list);
    std::vector<int> SelectedRows() const;
    void ShowContextMenu(const QPoint& position);
    void ShowBanMenu(const QPoint& position);

    CServerLink* m_link = nullptr;
    COnlineUsersModel* m_model;
    QTableView* m_view;
    CBanListModel* m_bans;
    QTableView* m_banView;
};
