#include "ui/UserAccountDlg.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "accounts/AccountEditor.h"
#include "accounts/AccountStore.h"
#include "accounts/AccountVersion.h"
#include "ui/AccountTab.h"
#include "ui/EditorMessages.h"
#include "ui/FormParts.h"
#include "ui/LimitationsTab.h"
#include "ui/VirtualFoldersModel.h"
#include "ui/VirtualFoldersTab.h"

CUserAccountDlg::CUserAccountDlg(std::string programDir, QWidget* parent)
    : QDialog(parent),
      m_programDir(std::move(programDir)),
      m_tabs(new QTabWidget(this)),
      m_account(new CAccountTab(m_programDir, m_tabs)),
      m_folders(new CVirtualFoldersTab(m_tabs)),
      m_limits(new CLimitationsTab(m_tabs)) {
    setWindowTitle("User Account");
    m_tabs->addTab(m_account, "Account");
    m_tabs->addTab(m_folders, "Virtual Folders");
    m_tabs->addTab(m_limits, "Limitations");
    QDialogButtonBox* buttons = MakeSaveCancelBox(this, [this] { Save(); });
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addWidget(buttons);
    resize(520, 560);
}

void CUserAccountDlg::OpenNew(const QString& defaultDir) {
    m_recordId = 0;
    m_record = {};
    m_account->FillNew(defaultDir);
    m_folders->Model().Load({}, {});
}

bool CUserAccountDlg::OpenExisting(std::int32_t id) {
    UserRecord user;
    if (!ReadUserById(m_programDir, id, user)) return false;
    m_recordId = user.id;
    m_record = user;
    const auto groups = CAccountEditor(m_programDir).GroupNamesById();  // group.sdb read once
    m_account->Fill(user, QString::fromStdString(JoinGroupNames(user.groups, groups)));
    m_limits->Fill(user);
    LoadFolders(user.groups, groups);
    return true;
}

// Own folders, then each group's in the order of the account's group list. A group
// that no longer exists has no folders and no row.
void CUserAccountDlg::LoadFolders(const std::string& groupIds,
                                  const std::map<std::int32_t, std::string>& groups) {
    std::vector<VirtualFolder> own;
    (void)ReadFolders(UserFolderTablePath(m_programDir, m_recordId), own);  // missing: none
    std::vector<CVirtualFoldersModel::GroupFolders> inherited;
    for (std::int32_t groupId : ParseGroupList(groupIds)) {
        const auto group = groups.find(groupId);
        if (group == groups.end()) continue;
        CVirtualFoldersModel::GroupFolders& g = inherited.emplace_back();
        g.groupName = QString::fromStdString(group->second);
        (void)ReadFolders(GroupFolderTablePath(m_programDir, groupId), g.folders);
    }
    m_foldersVersion = AccountVersion(own);
    m_folders->Model().Load(own, inherited);
    m_folders->ShowLoaded();
}

void CUserAccountDlg::Save() {
    if (!HasNonBlank(m_account->NameEdit().text().toStdString())) {
        ShowEditorError(this, "Username cannot be empty!");
        m_account->NameEdit().setFocus();
        return;
    }
    if (!HasNonBlank(m_account->HomeEdit().text().toStdString())) {
        ShowEditorError(this, "Home Dir cannot be empty!");
        m_account->HomeEdit().setFocus();
        return;
    }
    UserRecord user = m_record;
    user.id = m_recordId;
    m_account->Store(user);
    m_limits->Store(user);
    CAccountEditor editor(m_programDir);
    user.groups = editor.GroupNamesToIds(m_account->GroupNames().toStdString());
    std::vector<std::string_view> owned = CAccountTab::OwnedFields();
    for (std::string_view field : CLimitationsTab::OwnedFields()) owned.push_back(field);
    // Unless the administrator set it, the space in use stays what the server has
    // booked meanwhile.
    // Another editor's save since this dialog read the account is refused, not overwritten.
    if (m_recordId != 0) {
        editor.RequireVersion({AccountVersion(m_record)});
        editor.RequireFolderVersion(m_foldersVersion);
    }
    const std::vector<VirtualFolder> folders = m_folders->Model().OwnFolders();
    const bool saved = editor.SaveUserFields(user, owned, folders, !m_limits->QuotaInUseEdited());
    if (saved || editor.GetLastFailure() == EditFailure::FolderTable) m_record = user;
    if (saved) m_foldersVersion = AccountVersion(folders);
    EndEditorSave(*this, editor, saved, user.id, m_recordId);
}
