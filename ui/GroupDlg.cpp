#include "ui/GroupDlg.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QVBoxLayout>
#include <array>

#include "accounts/AccountEditor.h"
#include "accounts/AccountFields.h"
#include "accounts/AccountVersion.h"
#include "ui/EditorMessages.h"
#include "ui/FormParts.h"
#include "ui/GroupTab.h"
#include "ui/VirtualFoldersModel.h"
#include "ui/VirtualFoldersTab.h"

CGroupDlg::CGroupDlg(std::string programDir, QWidget* parent)
    : QDialog(parent),
      m_programDir(std::move(programDir)),
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
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addWidget(buttons);
    resize(520, 480);
}

bool CGroupDlg::OpenExisting(std::int32_t id) {
    CAccountEditor editor(m_programDir);
    GroupRecord group;
    if (!editor.ReadGroup(id, group)) return false;
    m_recordId = group.id;
    m_record = group;
    m_group->NameEdit().setText(QString::fromStdString(group.name));
    m_group->NotesEdit().setPlainText(QString::fromStdString(group.notes));
    std::vector<VirtualFolder> folders;
    (void)ReadFolders(GroupFolderTablePath(m_programDir, id), folders);  // missing: none
    m_foldersVersion = AccountVersion(folders);
    m_folders->Model().Load(folders, {});
    m_folders->ShowLoaded();
    return true;
}

void CGroupDlg::Save() {
    const QString name = m_group->NameEdit().text();
    if (!HasNonBlank(name.toStdString())) {
        ShowEditorError(this, "Name cannot be empty!");
        m_group->NameEdit().setFocus();
        return;
    }
    GroupRecord group = m_record;
    group.id = m_recordId;
    group.name = name.toStdString();
    group.notes = m_group->NotesEdit().toPlainText().toStdString();
    static constexpr std::array<std::string_view, 2> kOwned{FieldName(&GroupRecord::name),
                                                            FieldName(&GroupRecord::notes)};
    CAccountEditor editor(m_programDir);
    // Another editor's save since this dialog read the group is refused, not overwritten.
    if (m_recordId != 0) {
        editor.RequireVersion({AccountVersion(m_record)});
        editor.RequireFolderVersion(m_foldersVersion);
    }
    const std::vector<VirtualFolder> folders = m_folders->Model().OwnFolders();
    const bool saved = editor.SaveGroupFields(group, kOwned, folders);
    if (saved || editor.GetLastFailure() == EditFailure::FolderTable) m_record = group;
    if (saved) m_foldersVersion = AccountVersion(folders);
    EndEditorSave(*this, editor, saved, group.id, m_recordId);
}
