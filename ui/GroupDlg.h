// "Group": edits one group on the tabs "Group" (name, notes) and "Virtual Folders", and
// saves it with the account store's one save operation.
#pragma once

#include <QDialog>
#include <cstdint>
#include <string>

#include "accounts/AccountStore.h"

class CGroupTab;
class CVirtualFoldersTab;
class QTabWidget;

class CGroupDlg : public QDialog {
    Q_OBJECT
public:
    CGroupDlg(std::string programDir, QWidget* parent = nullptr);

    // The group with record id `id` and its folders. False when no group has that id
    // (another editor deleted it).
    [[nodiscard]] bool OpenExisting(std::int32_t id);
    // The saved group's record id after Save; 0 for a new group before.
    std::int32_t RecordId() const { return m_recordId; }

    QTabWidget& Tabs() { return *m_tabs; }
    CGroupTab& GroupTab() { return *m_group; }
    CVirtualFoldersTab& FoldersTab() { return *m_folders; }

public slots:
    // Checks the name, then saves the group (notes cut to 127 characters) and its
    // folders. Closes with OK when both are saved; otherwise a box says why.
    void Save();

private:
    std::string m_programDir;
    std::int32_t m_recordId = 0;
    GroupRecord m_record;          // as read; the dialog changes only name and notes
    std::string m_foldersVersion;  // of its folders as read (AccountVersion)
    QTabWidget* m_tabs;
    CGroupTab* m_group;
    CVirtualFoldersTab* m_folders;
};
