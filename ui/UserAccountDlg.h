// "User Account": edits one account on the tabs "Account", "Virtual Folders" and
// "Limitations", and saves it through the page's CAccountAccess in one save.
#pragma once

#include <QDialog>
#include <cstdint>
#include <functional>
#include <string>

#include "accounts/AccountStore.h"
#include "ui/AccountAccess.h"

class CAccountTab;
class CLimitationsTab;
class CVirtualFoldersTab;
class QAbstractButton;
class QTabWidget;

class CUserAccountDlg : public QDialog {
    Q_OBJECT
public:
    // `access` reads and saves the account; it outlives the dialog.
    CUserAccountDlg(CAccountAccess& access, QWidget* parent = nullptr);

    // A new account, its home directory preset to `defaultDir`.
    void OpenNew(const QString& defaultDir);
    // Reads the account `key`, its own folders and those of its groups, and shows them;
    // then `opened` tells how the read ended (Gone: another editor deleted it). Not
    // called when the dialog is gone meanwhile.
    void OpenExisting(const AccountKey& key, CAccountAccess::Done opened);
    // The saved account's record id after Save; 0 for a new account before.
    std::int32_t RecordId() const { return m_recordId; }

    QTabWidget& Tabs() { return *m_tabs; }
    CAccountTab& AccountTab() { return *m_account; }
    CVirtualFoldersTab& FoldersTab() { return *m_folders; }
    CLimitationsTab& LimitationsTab() { return *m_limits; }
    // False while a save is on its way.
    bool IsIdle() const { return !m_saving; }

public slots:
    // Checks the name and home directory, then saves the account (the fields its tabs
    // own; the others keep what is stored) and its own folders. Closes with OK when both
    // are saved; otherwise a box says why and the dialog stays open with its edits.
    void Save();

private:
    void Show(const UserDetails& details);
    void Saved(const UserRecord& user, const SaveResult& result);
    void Reload();
    void SetSaving(bool saving);

    CAccountAccess& m_access;
    std::int32_t m_recordId = 0;
    UserRecord m_record;  // as read; the tabs change only the fields they own
    std::string m_version;
    std::string m_foldersVersion;  // of the own folders as read
    bool m_saving = false;
    QTabWidget* m_tabs;
    CAccountTab* m_account;
    CVirtualFoldersTab* m_folders;
    CLimitationsTab* m_limits;
    QAbstractButton* m_saveButton = nullptr;
};
