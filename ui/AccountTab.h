// The "Account" tab of the user editor: status, automatic disabling, name, password,
// groups, e-mail, home directory and the home directory's nine permissions.
#pragma once

#include <QWidget>
#include <string>
#include <string_view>
#include <vector>

#include "accounts/AccountStore.h"

class CAccountAccess;
class CPermissionBoxes;
class QCheckBox;
class QDateEdit;
class QLineEdit;
class QPushButton;

class CAccountTab : public QWidget {
    Q_OBJECT
public:
    // `access` is where "Group Select" finds the groups.
    explicit CAccountTab(CAccountAccess& access, QWidget* parent = nullptr);

    // Shows `user`; `groupNames` is its group list as names. Without `passwordShown`
    // the password box starts empty and an empty one keeps the stored password.
    void Fill(const UserRecord& user, const QString& groupNames, bool passwordShown = true);
    // False when the password is not known here and the box was left empty: a save
    // must leave the stored one as it is.
    bool PasswordGiven() const;
    // A new account: enabled, no automatic disabling (today in the picker), `homeDir`,
    // Read and List granted.
    void FillNew(const QString& homeDir);
    // Stores every field of this tab into `user`, but not "group" (names need the
    // group table: GroupNames()).
    void Store(UserRecord& user) const;
    QString GroupNames() const;
    // The fields this tab shows and Store fills, "group" included.
    static std::vector<std::string_view> OwnedFields();

    QCheckBox& EnableBox() { return *m_enable; }
    QCheckBox& AutoDisableBox() { return *m_autoDisable; }
    QDateEdit& DisableDate() { return *m_date; }
    QLineEdit& NameEdit() { return *m_name; }
    QLineEdit& PasswordEdit() { return *m_password; }
    QCheckBox& ShowPasswordBox() { return *m_showPassword; }
    QLineEdit& GroupEdit() { return *m_groups; }
    QLineEdit& EmailEdit() { return *m_email; }
    QLineEdit& HomeEdit() { return *m_home; }
    CPermissionBoxes& Permissions() { return *m_permissions; }

public slots:
    // "..." next to "Group:": appends the groups chosen in "Group Select".
    void SelectGroups();

private:
    void ApplyEnabling();
    QWidget* MakeFields();

    CAccountAccess& m_access;
    bool m_passwordShown = true;
    QCheckBox* m_enable;
    QCheckBox* m_autoDisable;
    QDateEdit* m_date;
    QLineEdit* m_name;
    QLineEdit* m_password;
    QCheckBox* m_showPassword;
    QLineEdit* m_groups;
    QPushButton* m_groupButton;
    QLineEdit* m_email;
    QLineEdit* m_home;
    QPushButton* m_homeButton;
    CPermissionBoxes* m_permissions;
};
