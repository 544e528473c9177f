// The "Groups" tab: every group of group.sdb, "Add...", "Edit..." and "Delete".
#pragma once

#include <QWidget>
#include <cstdint>
#include <string>

class CGroupsModel;
class QTableView;

class CGroupsPage : public QWidget {
    Q_OBJECT
public:
    explicit CGroupsPage(std::string programDir, QWidget* parent = nullptr);

    CGroupsModel& Model() { return *m_model; }
    QTableView& View() { return *m_view; }
    // The group of the selected row; 0 when none.
    std::int32_t SelectedId() const;
    void SelectId(std::int32_t id);

public slots:
    // Reads the list again, keeping the selected group selected.
    void Refresh();
    void AddGroup();
    // Opens the selected group (also a double click).
    void EditGroup();
    // Asks, then deletes the selected group and its folder table, and takes it out of
    // every account's group list.
    void DeleteGroup();

protected:
    // Reads the list each time the page comes to view.
    void showEvent(QShowEvent* event) override;

private:
    std::string m_programDir;
    CGroupsModel* m_model;
    QTableView* m_view;
};
