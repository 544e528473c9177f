#include "ui/UserAccountDlg.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "accounts/AccountEditor.h"
#include "accounts/AccountFields.h"
#include "ui/AccountTab.h"
#include "ui/EditorMessages.h"
#include "ui/FormParts.h"
#include "ui/LimitationsTab.h"
#include "ui/VirtualFoldersModel.h"
#include "ui/VirtualFoldersTab.h"

CUserAccountDlg::CUserAccountDlg(CAccountAccess& access, QWidget* parent)
    : QDialog(parent),
      m_access(access),
      m_tabs(new QTabWidget(this)),
      m_account(new CAccountTab(access, m_tabs)),
      m_folders(new CVirtualFoldersTab(m_tabs)),
      m_limits(new CLimitationsTab(m_tabs)) {
    setWindowTitle("User Account");
    m_tabs->addTab(m_account, "Account");
    m_tabs->addTab(m_folders, "Virtual Folders");
    m_tabs->addTab(m_limits, "Limitations");
    QDialogButtonBox* buttons = MakeSaveCancelBox(this, [this] { Save(); });
    m_saveButton = SaveButtonOf(*buttons);
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

void CUserAccountDlg::OpenExisting(const AccountKey& key, CAccountAccess::Done opened) {
    QPointer<CUserAccountDlg> self(this);
    m_access.ReadUser(key, [self, opened = std::move(opened)](const AccessStatus& status,
                                                              const UserDetails& details) {
        if (!self) return;
        if (status.ok()) self->Show(details);
        opened(status);
    });
}

// Own folders, then each group's in the order of the account's group list.
void CUserAccountDlg::Show(const UserDetails& details) {
    m_recordId = details.user.id;
    m_record = details.user;
    m_version = details.version;
    m_foldersVersion = details.foldersVersion;
    m_account->Fill(details.user, QString::fromStdString(details.groupNames),
                    details.passwordShown);
    m_limits->Fill(details.user);
    std::vector<CVirtualFoldersModel::GroupFolders> inherited;
    for (const NamedFolders& group : details.groupFolders)
        inherited.push_back({QString::fromStdString(group.owner), group.folders});
    m_folders->Model().Load(details.ownFolders, inherited);
    m_folders->ShowLoaded();
}

void CUserAccountDlg::Save() {
    if (m_saving) return;
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
    UserSave save;
    save.user = m_record;
    save.user.id = m_recordId;
    save.storedName = m_record.name;
    m_account->Store(save.user);
    m_limits->Store(save.user);
    save.groupNames = m_account->GroupNames().toStdString();
    save.owned = CAccountTab::OwnedFields();
    for (std::string_view field : CLimitationsTab::OwnedFields()) save.owned.push_back(field);
    if (!m_account->PasswordGiven()) std::erase(save.owned, FieldName(&UserRecord::password));
    // Unless the administrator set it, the space in use stays what the server has
    // booked meanwhile.
    save.keepQuotaInUse = !m_limits->QuotaInUseEdited();
    save.folders = m_folders->Model().OwnFolders();
    save.version = m_version;
    save.foldersVersion = m_foldersVersion;
    SetSaving(true);
    QPointer<CUserAccountDlg> self(this);
    m_access.SaveUser(save, [self, user = save.user](const SaveResult& result) {
        if (self) self->Saved(user, result);
    });
}

void CUserAccountDlg::Saved(const UserRecord& user, const SaveResult& result) {
    SetSaving(false);
    // The record is stored (maybe without its folders): a second Save updates it.
    if (result.id != 0) {
        m_recordId = result.id;
        m_record = user;
        m_record.id = result.id;
        m_version = result.version;
        m_foldersVersion = result.foldersVersion;
    }
    EndEditorSave(*this, result.status, [this] { Reload(); });
}

void CUserAccountDlg::Reload() {
    OpenExisting({m_recordId, m_record.name}, [this](const AccessStatus& status) {
        if (!status.ok()) ShowEditorError(this, QString::fromStdString(status.message));
    });
}

void CUserAccountDlg::SetSaving(bool saving) {
    m_saving = saving;
    if (m_saveButton != nullptr) m_saveButton->setEnabled(!saving);
}
