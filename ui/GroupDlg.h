// "Group": edits one group on the tabs "Group" (name, notes) and "Virtual Folders", and
// saves it through the page's CAccountAccess in one save.
#pragma once

#include <QDialog>
#include <cstdint>
#include <string>

#include "accounts/AccountStore.h"
#include "ui/AccountAccess.h"

class CGroupTab;
class CVirtualFoldersTab;
class QAbstractButton;
class QTabWidget;

class CGroupDlg : public QDialog {
    Q_OBJECT
public:
    // `access` reads and saves the group; it outlives the dialog.
    CGroupDlg(CAccountAccess& access, QWidget* parent = nullptr);

    // Reads the group `key` and its folders and shows them; then `opened` tells how the
    // read ended (Gone: another editor deleted it). Not called when the dialog is gone
    // meanwhile.
    void OpenExisting(const AccountKey& key, CAccountAccess::Done opened);
    // The saved group's record id after Save; 0 for a new group before.
    std::int32_t RecordId() const { return m_recordId; }

    QTabWidget& Tabs() { return *m_tabs; }
    CGroupTab& GroupTab() { return *m_group; }
    CVirtualFoldersTab& FoldersTab() { return *m_folders; }
    // False while a save is on its way.
    bool IsIdle() const { return !m_saving; }

public slots:
    // Checks the name, then saves the group (notes cut to 127 characters) and its
    // folders. Closes with OK when both are saved; otherwise a box says why and the
    // dialog stays open with its edits.
    void Save();

private:
    void Show(const GroupDetails& details);
    void Saved(const GroupRecord& group, const SaveResult& result);
    void SetSaving(bool saving);

    CAccountAccess& m_access;
    std::int32_t m_recordId = 0;
    GroupRecord m_record;  // as read; the dialog changes only name and notes
    std::string m_version;
    std::string m_foldersVersion;  // of its folders as read
    bool m_saving = false;
    QTabWidget* m_tabs;
    CGroupTab* m_group;
    CVirtualFoldersTab* m_folders;
    QAbstractButton* m_saveButton = nullptr;
};
