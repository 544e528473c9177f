#include "ui/GroupsPage.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include "accounts/AccountEditor.h"
#include "ui/GroupDlg.h"
#include "ui/GroupsModel.h"

CGroupsPage::CGroupsPage(std::string programDir, QWidget* parent)
    : CAccountListPage(std::move(programDir), new CGroupsModel, parent) {
    connect(m_view, &QTableView::doubleClicked, this, &CGroupsPage::EditGroup);
    auto* buttons = new QHBoxLayout;
    const auto addButton = [&](const char* text, void (CGroupsPage::*slot)()) {
        auto* button = new QPushButton(text, this);
        connect(button, &QPushButton::clicked, this, slot);
        buttons->addWidget(button);
    };
    addButton("Add...", &CGroupsPage::AddGroup);
    addButton("Edit...", &CGroupsPage::EditGroup);
    addButton("Delete", &CGroupsPage::DeleteGroup);
    addButton("Refresh", &CGroupsPage::Refresh);
    buttons->addStretch();
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
