#include "ui/OnlineUsersPage.h"

#include <QHeaderView>
#include <QMenu>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/BanListModel.h"
#include "ui/OnlineUsersModel.h"
#include "ui/ServerLink.h"

COnlineUsersPage::COnlineUsersPage(QWidget* parent)
    : QWidget(parent),
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
    m_banView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_banView->setSelectionMode(QAbstractItemView::SingleSelection);
    m_banView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_banView, &QWidget::customContextMenuRequested, this, &COnlineUsersPage::ShowBanMenu);
    layout->addWidget(m_banView, 1);
}

void COnlineUsersPage::SetLink(CServerLink* link) {
    if (m_link != nullptr) disconnect(m_link, nullptr, this, nullptr);
    m_link = link;
    m_model->Clear();
    m_bans->SetBans({});
    if (link == nullptr) return;
    connect(link, &CServerLink::sessionOpened, this,
            [this](quint32 id, const QString& user, const QString& address, qint64 when) {
                m_model->AddSession(id, user.toStdString(), address.toStdString(), when);
            });
    connect(link, &CServerLink::sessionCommand, this,
            [this](quint32 id, const QString& directory, const QString& line, qint64 when) {
                m_model->NoteCommand(id, directory.toStdString(), line.toStdString(), when);
            });
    connect(link, &CServerLink::sessionClosed, this,
            [this](quint32 id) { m_model->RemoveSession(id); });
    connect(link, &CServerLink::bansChanged, this,
            [this](const std::vector<BanEntry>& bans) { m_bans->SetBans(bans); });
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
    if (rows.empty() || m_link == nullptr) return;
    m_link->AddToIpList(list, m_model->AddressAt(rows.front()));
}

void COnlineUsersPage::KickSelected() {
    // A session has a row per USER command: each is kicked (and logged) once. One that
    // has already ended is refused; its rows stay until they are cleared.
    std::vector<std::uint32_t> ids;
    for (int row : SelectedRows()) ids.push_back(m_model->SessionIdAt(row));
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    if (!ids.empty() && m_link != nullptr) m_link->Kick(ids);
}

void COnlineUsersPage::LiftSelectedBan() {
    const QModelIndexList rows = m_banView->selectionModel()->selectedRows(CBanListModel::Address);
    if (rows.isEmpty() || m_link == nullptr) return;
    m_link->LiftBan(rows.front().data().toString());
}

void COnlineUsersPage::ShowBanMenu(const QPoint& position) {
    QMenu menu(this);
    menu.addAction("Lift this ban", this, &COnlineUsersPage::LiftSelectedBan);
    menu.exec(m_banView->viewport()->mapToGlobal(position));
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
