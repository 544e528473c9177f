// The "Groups" tab: every group, "Add...", "Edit..." and "Delete".
#pragma once

#include <string>

#include "ui/AccountListPage.h"

class CGroupsModel;

class CGroupsPage : public CAccountListPage {
    Q_OBJECT
public:
    explicit CGroupsPage(std::shared_ptr<CAccountAccess> access, QWidget* parent = nullptr);

    CGroupsModel& Model() const;

public slots:
    void AddGroup();
    // Opens the selected group (also a double click).
    void EditGroup();
    // Asks, then deletes the selected group and its folder table, and takes it out of
    // every account's group list.
    void DeleteGroup();

protected:
    void ReadList(std::uint64_t read, std::function<void()> shown) override;
};
