// The "Statistics" tab: the transfer history of the whole server or one user as a bar
// chart per day, week or month, and a sortable table of the users with the most bytes.
// Asked of the server link when shown, when a choice changes and every minute.
#pragma once

#include <QTimer>
#include <QWidget>

#include "server/TransferHistory.h"

class CHistoryChart;
class CServerLink;
class CTopUsersModel;
class QComboBox;
class QSortFilterProxyModel;
class QTableView;
struct HistoryAnswer;

class CStatisticsPage : public QWidget {
    Q_OBJECT
public:
    explicit CStatisticsPage(QWidget* parent = nullptr);

    // The history shown from now on is `link`'s. `link` outlives the page or is replaced
    // first.
    void SetLink(CServerLink* link);
    // Asks the link for the history of the current choices.
    void Refresh();

    QComboBox& UserChoice() { return *m_user; }
    QComboBox& GroupingChoice() { return *m_grouping; }
    QComboBox& RangeChoice() { return *m_range; }
    CHistoryChart& Chart() { return *m_chart; }
    CTopUsersModel& Model() { return *m_model; }
    QTableView& View() { return *m_view; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void Apply(const HistoryAnswer& answer);
    // The user names the combo box offers: the whole server, then every user seen.
    void OfferUsers(const std::vector<HistoryUserTotal>& users);

    CServerLink* m_link = nullptr;
    QComboBox* m_user;
    QComboBox* m_grouping;
    QComboBox* m_range;
    CHistoryChart* m_chart;
    CTopUsersModel* m_model;
    QSortFilterProxyModel* m_sorted;
    QTableView* m_view;
    QTimer m_refreshTimer;
};
