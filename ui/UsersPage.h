// The "Users" tab: every account of user.sdb, a search box that filters as one types,
// "Add...", "Edit...", "Delete", "Refresh" and "Show passwords".
#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>
#include <string>

class CUsersModel;
class QCheckBox;
class QLineEdit;
class QTableView;

class CUsersPage : public QWidget {
    Q_OBJECT
public:
    // `programDir` holds the tables; `defaultDir` gives the home directory a new
    // account starts with (the options may change it while the window is open).
    CUsersPage(std::string programDir, std::function<std::string()> defaultDir,
               QWidget* parent = nullptr);

    CUsersModel& Model() { return *m_model; }
    QTableView& View() { return *m_view; }
    QLineEdit& SearchEdit() { return *m_search; }
    QCheckBox& ShowPasswordsBox() { return *m_showPasswords; }
    // The account of the selected row; 0 when none.
    std::int32_t SelectedId() const;
    // Selects the row of the account `id` when it is shown.
    void SelectId(std::int32_t id);

public slots:
    // Reads the list again, keeping the selected account selected.
    void Refresh();
    void AddUser();
    // Opens the selected account (also a double click). An account deleted meanwhile is
    // reported and the list read again.
    void EditUser();
    // Asks, then deletes the selected account and its folder table.
    void DeleteUser();

protected:
    // Reads the list (each time the page comes to view: other editors, tarvona-admin and
    // the groups page, may have changed the tables meanwhile).
    void showEvent(QShowEvent* event) override;

private:
    void FitColumns();

    std::string m_programDir;
    std::function<std::string()> m_defaultDir;
    CUsersModel* m_model;
    QTableView* m_view;
    QLineEdit* m_search;
    QCheckBox* m_showPasswords;
};
