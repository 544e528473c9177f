// The "Users" tab: every account, a search box that filters as one types,
// "Add...", "Edit...", "Delete", "Refresh" and "Show passwords".
#pragma once

#include <functional>
#include <string>

#include "ui/AccountListPage.h"

class CUsersModel;
class QCheckBox;
class QLineEdit;

class CUsersPage : public CAccountListPage {
    Q_OBJECT
public:
    // `defaultDir` gives the home directory a new account starts with (the options may
    // change it while the window is open).
    CUsersPage(std::shared_ptr<CAccountAccess> access, std::function<std::string()> defaultDir,
               QWidget* parent = nullptr);

    CUsersModel& Model() const;
    QLineEdit& SearchEdit() { return *m_search; }
    QCheckBox& ShowPasswordsBox() { return *m_showPasswords; }

public slots:
    void AddUser();
    // Opens the selected account (also a double click). An account deleted meanwhile is
    // reported and the list read again.
    void EditUser();
    // Asks, then deletes the selected account and its folder table.
    void DeleteUser();

protected:
    void ReadList(std::uint64_t read, std::function<void()> shown) override;

private:
    std::function<std::string()> m_defaultDir;
    QLineEdit* m_search;
    QCheckBox* m_showPasswords;
};
