#include "ui/GroupsPage.h"

#include <QHBoxLayout>
#include <QTableView>
#include <QVBoxLayout>

#include "ui/GroupDlg.h"
#include "ui/GroupsModel.h"

CGroupsPage::CGroupsPage(std::shared_ptr<CAccountAccess> access, QWidget* parent)
    : CAccountListPage(std::move(access), new CGroupsModel, parent) {
    connect(m_view, &QTableView::doubleClicked, this, &CGroupsPage::EditGroup);
    QHBoxLayout* buttons =
        MakeButtonRow([this] { AddGroup(); }, [this] { EditGroup(); }, [this] { DeleteGroup(); });
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 4, 2, 2);
    layout->addWidget(m_view, 1);
    layout->addLayout(buttons);
}

CGroupsModel& CGroupsPage::Model() const { return static_cast<CGroupsModel&>(ListModel()); }

void CGroupsPage::ReadList(std::uint64_t read, std::function<void()> shown) {
    QPointer<CGroupsPage> self(this);
    Access().ListGroups([self, read, shown = std::move(shown)](const AccessStatus& status,
                                                               std::vector<GroupRecord> groups) {
        if (!ApplyList(self.data(), read, status)) return;
        self->Model().Show(std::move(groups));
        shown();
    });
}

void CGroupsPage::AddGroup() {
    const std::shared_ptr<CAccountAccess> access = SharedAccess();
    CGroupDlg dialog(*access, this);
    if (dialog.exec() == QDialog::Accepted) ShowNew(dialog.RecordId());
}

void CGroupsPage::EditGroup() {
    EditSelected<CGroupDlg>("This group no longer exists: another editor deleted it.");
}

void CGroupsPage::DeleteGroup() {
    DeleteSelected("Do you really want to delete this group?", &CAccountAccess::DeleteGroup);
}
