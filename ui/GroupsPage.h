// The "Groups" tab: every group of group.sdb, "Add...", "Edit..." and "Delete".
#pragma once

#include <string>

#include "ui/AccountListPage.h"

class CGroupsModel;

class CGroupsPage : public CAccountListPage {
    Q_OBJECT
public:
    explicit CGroupsPage(std::string programDir, QWidget* parent = nullptr);

    CGroupsModel& Model() const;

public slots:
    void AddGroup();
    // Opens the selected group (also a double click).
    void EditGroup();
    // Asks, then deletes the selected group and its folder table, and takes it out of
    // every account's group list.
    void DeleteGroup();
};
