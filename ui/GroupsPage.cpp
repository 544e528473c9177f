#include "ui/GroupsPage.h"

#include <QHBoxLayout>
#include <QTableView>
#include <QVBoxLayout>

#include "accounts/AccountEditor.h"
#include "ui/GroupDlg.h"
#include "ui/GroupsModel.h"

CGroupsPage::CGroupsPage(std::string programDir, QWidget* parent)
    : CAccountListPage(std::move(programDir), new CGroupsModel, parent) {
    connect(m_view, &QTableView::doubleClicked, this, &CGroupsPage::EditGroup);
    QHBoxLayout* buttons =
        MakeButtonRow([this] { AddGroup(); }, [this] { EditGroup(); }, [this] { DeleteGroup(); });
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 4, 2, 2);
    layout->addWidget(m_view, 1);
    layout->addLayout(buttons);
}

CGroupsModel& CGroupsPage::Model() const { return static_cast<CGroupsModel&>(ListModel()); }

void CGroupsPage::AddGroup() {
    CGroupDlg dialog(ProgramDir(), this);
    if (dialog.exec() == QDialog::Accepted) ShowNew(dialog.RecordId());
}

void CGroupsPage::EditGroup() {
    EditSelected<CGroupDlg>("This group no longer exists: another editor deleted it.");
}

void CGroupsPage::DeleteGroup() {
    DeleteSelected("Do you really want to delete this group?", [this](std::int32_t id) {
        CAccountEditor editor(ProgramDir());
        if (!editor.DeleteGroup(id))
            ShowEditorError(this, QString::fromStdString(editor.GetLastError()));
    });
}
