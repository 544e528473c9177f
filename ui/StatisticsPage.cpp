#include "ui/StatisticsPage.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>

#include "ui/HistoryChart.h"
#include "ui/ServerLink.h"
#include "ui/TopUsersModel.h"

namespace {

constexpr int kRefreshMs = 60000;  // the server writes its history once a minute too
constexpr int kDefaultRangeIndex = 1;

struct DayRange {
    const char* text;
    int days;
};
constexpr DayRange kRanges[] = {{"Last 14 days", 14},
                                {"Last 30 days", 30},
                                {"Last 90 days", 90},
                                {"Last 365 days", 365},
                                {"Last 2 years", 730}};

}  // namespace

CStatisticsPage::CStatisticsPage(QWidget* parent) : QWidget(parent) {
    m_user = new QComboBox(this);
    m_user->addItem("Whole server", QString());
    m_user->setMinimumContentsLength(16);
    m_grouping = new QComboBox(this);
    m_grouping->addItem("By day", static_cast<int>(HistoryGrouping::Day));
    m_grouping->addItem("By week", static_cast<int>(HistoryGrouping::Week));
    m_grouping->addItem("By month", static_cast<int>(HistoryGrouping::Month));
    m_range = new QComboBox(this);
    for (const DayRange& range : kRanges) m_range->addItem(range.text, range.days);
    m_range->setCurrentIndex(kDefaultRangeIndex);
    auto* refresh = new QPushButton("Refresh", this);
    auto* choices = new QHBoxLayout;
    auto* showLabel = new QLabel("&Show:", this);
    showLabel->setBuddy(m_user);
    choices->addWidget(showLabel);
    choices->addWidget(m_user);
    choices->addWidget(m_grouping);
    choices->addWidget(m_range);
    choices->addStretch(1);
    choices->addWidget(refresh);

    m_chart = new CHistoryChart(this);
    m_model = new CTopUsersModel(this);
    m_sorted = new QSortFilterProxyModel(this);
    m_sorted->setSourceModel(m_model);
    m_sorted->setSortRole(Qt::UserRole);
    m_sorted->setSortCaseSensitivity(Qt::CaseInsensitive);
    m_view = new QTableView(this);
    m_view->setModel(m_sorted);
    m_view->setSortingEnabled(true);
    m_view->sortByColumn(CTopUsersModel::BytesDown, Qt::DescendingOrder);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->verticalHeader()->hide();
    m_view->horizontalHeader()->setStretchLastSection(true);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(choices);
    layout->addWidget(m_chart, 3);
    layout->addWidget(new QLabel("Users of the chosen days:", this));
    layout->addWidget(m_view, 2);

    for (QComboBox* box : {m_user, m_grouping, m_range})
        connect(box, &QComboBox::activated, this, &CStatisticsPage::Refresh);
    connect(refresh, &QPushButton::clicked, this, &CStatisticsPage::Refresh);
    m_refreshTimer.setInterval(kRefreshMs);
    connect(&m_refreshTimer, &QTimer::timeout, this, &CStatisticsPage::Refresh);
}

void CStatisticsPage::SetLink(CServerLink* link) {
    if (m_link != nullptr) disconnect(m_link, nullptr, this, nullptr);
    m_link = link;
    m_chart->SetBuckets({});
    m_model->SetUsers({});
    while (m_user->count() > 1) m_user->removeItem(1);
    if (link == nullptr) return;
    connect(link, &CServerLink::historyReady, this, &CStatisticsPage::Apply);
    if (isVisible()) Refresh();
}

void CStatisticsPage::Refresh() {
    if (m_link == nullptr) return;
    m_link->RequestHistory(m_user->currentData().toString(), m_range->currentData().toInt(),
                           static_cast<HistoryGrouping>(m_grouping->currentData().toInt()));
}

void CStatisticsPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    m_refreshTimer.start();
    Refresh();
}

void CStatisticsPage::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    m_refreshTimer.stop();
}

void CStatisticsPage::Apply(const HistoryAnswer& answer) {
    // A late answer to an earlier choice is not shown as this one's.
    if (QString::fromStdString(answer.user) != m_user->currentData().toString()) return;
    m_chart->SetBuckets(answer.buckets);
    m_model->SetUsers(answer.topUsers);
    OfferUsers(answer.topUsers);
}

void CStatisticsPage::OfferUsers(const std::vector<HistoryUserTotal>& users) {
    for (const HistoryUserTotal& user : users) {
        const QString name = QString::fromStdString(user.user);
        if (m_user->findData(name) < 0) m_user->addItem(name, name);
    }
}
