#include "ui/GroupDlg.h"

#include <QAbstractButton>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTabWidget>
#include <QVBoxLayout>

#include "accounts/AccountEditor.h"
#include "ui/EditorMessages.h"
#include "ui/FormParts.h"
#include "ui/GroupTab.h"
#include "ui/VirtualFoldersModel.h"
#include "ui/VirtualFoldersTab.h"

CGroupDlg::CGroupDlg(CAccountAccess& access, QWidget* parent)
    : QDialog(parent),
      m_access(access),
      m_tabs(new QTabWidget(this)),
      m_group(new CGroupTab(m_tabs)),
      m_folders(new CVirtualFoldersTab(m_tabs)) {
    setWindowTitle("Group");
    m_tabs->addTab(m_group, "Group");
    m_tabs->addTab(m_folders, "Virtual Folders");
    // Every folder here is the group's own; its "Group" column names the group.
    connect(&m_group->NameEdit(), &QLineEdit::textChanged, &m_folders->Model(),
            &CVirtualFoldersModel::SetOwnLabel);
    QDialogButtonBox* buttons = MakeSaveCancelBox(this, [this] { Save(); });
    m_saveButton = SaveButtonOf(*buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addWidget(buttons);
    resize(520, 480);
}

void CGroupDlg::OpenExisting(const AccountKey& key, CAccountAccess::Done opened) {
    QPointer<CGroupDlg> self(this);
    m_access.ReadGroup(key, [self, opened = std::move(opened)](const AccessStatus& status,
                                                               const GroupDetails& details) {
        if (!self) return;
        if (status.ok()) self->Show(details);
        opened(status);
    });
}

void CGroupDlg::Show(const GroupDetails& details) {
    m_recordId = details.group.id;
    m_record = details.group;
    m_version = details.version;
    m_foldersVersion = details.foldersVersion;
    m_group->NameEdit().setText(QString::fromStdString(details.group.name));
    m_group->NotesEdit().setPlainText(QString::fromStdString(details.group.notes));
    m_folders->Model().Load(details.folders, {});
    m_folders->ShowLoaded();
}

void CGroupDlg::Save() {
    if (m_saving) return;
    const QString name = m_group->NameEdit().text();
    if (!HasNonBlank(name.toStdString())) {
        ShowEditorError(this, "Name cannot be empty!");
        m_group->NameEdit().setFocus();
        return;
    }
    GroupSave save;
    save.group = m_record;
    save.group.id = m_recordId;
    save.storedName = m_record.name;
    save.group.name = name.toStdString();
    save.group.notes = m_group->NotesEdit().toPlainText().toStdString();
    save.folders = m_folders->Model().OwnFolders();
    save.version = m_version;
    save.foldersVersion = m_foldersVersion;
    SetSaving(true);
    QPointer<CGroupDlg> self(this);
    m_access.SaveGroup(save, [self, group = save.group](const SaveResult& result) {
        if (self) self->Saved(group, result);
    });
}

void CGroupDlg::Saved(const GroupRecord& group, const SaveResult& result) {
    SetSaving(false);
    // The record is stored (maybe without its folders): a second Save updates it.
    if (result.id != 0) {
        m_recordId = result.id;
        m_record = group;
        m_record.id = result.id;
        m_version = result.version;
        m_foldersVersion = result.foldersVersion;
    }
    EndEditorSave(*this, result.status, [this] {
        OpenExisting({m_recordId, m_record.name}, [this](const AccessStatus& status) {
            if (!status.ok()) ShowEditorError(this, QString::fromStdString(status.message));
        });
    });
}

void CGroupDlg::SetSaving(bool saving) {
    m_saving = saving;
    if (m_saveButton != nullptr) m_saveButton->setEnabled(!saving);
}
