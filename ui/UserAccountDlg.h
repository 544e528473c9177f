// "User Account": edits one account on the tabs "Account", "Virtual Folders" and
// "Limitations", and saves it with the account store's one save operation.
#pragma once

#include <QDialog>
#include <cstdint>
#include <map>
#include <string>

#include "accounts/AccountStore.h"

class CAccountTab;
class CLimitationsTab;
class CVirtualFoldersTab;
class QTabWidget;

class CUserAccountDlg : public QDialog {
    Q_OBJECT
public:
    // `programDir` holds the account tables (ends with "/").
    CUserAccountDlg(std::string programDir, QWidget* parent = nullptr);

    // A new account, its home directory preset to `defaultDir`.
    void OpenNew(const QString& defaultDir);
    // The account with record id `id`, its own folders and those of its groups. False
    // when no account has that id (another editor deleted it).
    [[nodiscard]] bool OpenExisting(std::int32_t id);
    // The saved account's record id after Save; 0 for a new account before.
    std::int32_t RecordId() const { return m_recordId; }

    QTabWidget& Tabs() { return *m_tabs; }
    CAccountTab& AccountTab() { return *m_account; }
    CVirtualFoldersTab& FoldersTab() { return *m_folders; }
    CLimitationsTab& LimitationsTab() { return *m_limits; }

public slots:
    // Checks the name and home directory, then saves the account (the fields its tabs
    // own; the others keep what is stored) and its own folders.
    // Closes with OK when both are saved; otherwise a box says why and the dialog
    // stays open.
    void Save();

private:
    void LoadFolders(const std::string& groupIds,
                     const std::map<std::int32_t, std::string>& groups);

    std::string m_programDir;
    std::int32_t m_recordId = 0;
    UserRecord m_record;           // as read; the tabs change only the fields they own
    std::string m_foldersVersion;  // of the own folders as read (AccountVersion)
    QTabWidget* m_tabs;
    CAccountTab* m_account;
    CVirtualFoldersTab* m_folders;
    CLimitationsTab* m_limits;
};
