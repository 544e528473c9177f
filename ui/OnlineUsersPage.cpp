#include "ui/OnlineUsersPage.h"

#include <QHeaderView>
#include <QMenu>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "server/AdminOperations.h"
#include "server/LoginGuard.h"
#include "ui/BanListModel.h"
#include "ui/OnlineUsersModel.h"

COnlineUsersPage::COnlineUsersPage(CFtpServer& server, QWidget* parent)
    : QWidget(parent),
      m_server(server),
      m_model(new COnlineUsersModel(this)),
      m_view(new QTableView(this)),
      m_bans(new CBanListModel(this)),
      m_banView(new QTableView(this)) {
    m_view->setModel(m_model);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_view->verticalHeader()->hide();
    m_view->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_view->horizontalHeader()->setStretchLastSection(true);
    m_view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_view, &QWidget::customContextMenuRequested, this, &COnlineUsersPage::ShowContextMenu);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 4, 2, 2);
    layout->addWidget(m_view, 4);
    m_banView->setModel(m_bans);
    m_banView->verticalHeader()->hide();
    m_banView->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_banView->horizontalHeader()->setStretchLastSection(true);
    m_banView->setVisible(false);
    layout->addWidget(m_banView, 1);
}

void COnlineUsersPage::ShowBansOf(CLoginGuard& guard) {
    m_banView->setVisible(true);
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this, &guard] { m_bans->SetBans(guard.Bans()); });
    timer->start(1000);
    m_bans->SetBans(guard.Bans());
}

std::vector<int> COnlineUsersPage::SelectedRows() const {
    std::vector<int> rows;
    for (const QModelIndex& index : m_view->selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void COnlineUsersPage::ClearAll() { m_model->Clear(); }

void COnlineUsersPage::AddSelectedTo(CIpFilter::List list) {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty()) return;
    const std::string address = m_model->AddressAt(rows.front()).toStdString();
    (void)CAdminOperations(m_server, AdminOrigin::Window).AddIpEntry(list, address);
}

void COnlineUsersPage::KickSelected() {
    // A session has a row per USER command: each is kicked (and logged) once. One that
    // has already ended is refused; its rows stay until they are cleared.
    std::vector<std::uint32_t> ids;
    for (int row : SelectedRows()) ids.push_back(m_model->SessionIdAt(row));
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    CAdminOperations operations(m_server, AdminOrigin::Window);
    for (std::uint32_t id : ids) (void)operations.Kick(id);
}

void COnlineUsersPage::ShowContextMenu(const QPoint& position) {
    QMenu menu(this);
    menu.addAction("Clear All", this, &COnlineUsersPage::ClearAll);
    menu.addAction("Add this ip to IP filter(allow)", this,
                   &COnlineUsersPage::AddSelectedToAllowList);
    menu.addAction("Add this ip to IP filter(deny)", this,
                   &COnlineUsersPage::AddSelectedToDenyList);
    menu.addAction("Kick out this user", this, &COnlineUsersPage::KickSelected);
    menu.exec(m_view->viewport()->mapToGlobal(position));
}
