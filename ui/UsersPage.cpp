#include "ui/UsersPage.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QTableView>
#include <QVBoxLayout>

#include "ui/UserAccountDlg.h"
#include "ui/UsersModel.h"

namespace {
// Fitting the columns measures this many rows, not all of them: a list of thousands
// of accounts must open at once.
constexpr int kFitSampleRows = 200;
}  // namespace

CUsersPage::CUsersPage(std::shared_ptr<CAccountAccess> access,
                       std::function<std::string()> defaultDir, QWidget* parent)
    : CAccountListPage(std::move(access), new CUsersModel, parent),
      m_defaultDir(std::move(defaultDir)),
      m_search(new QLineEdit(this)),
      m_showPasswords(new QCheckBox("Show passwords", this)) {
    m_view->setWordWrap(false);
    m_view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_view->horizontalHeader()->setResizeContentsPrecision(kFitSampleRows);
    m_view->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);  // record order
    m_view->setSortingEnabled(true);
    connect(m_view, &QTableView::doubleClicked, this, &CUsersPage::EditUser);
    m_search->setPlaceholderText("Search user name, e-mail or group");
    m_search->setClearButtonEnabled(true);
    connect(m_search, &QLineEdit::textChanged, this, [this](const QString& text) {
        const std::int32_t selected = SelectedId();
        Model().SetFilter(text);
        SelectId(selected);
    });
    connect(m_showPasswords, &QCheckBox::toggled, &Model(), &CUsersModel::SetShowPasswords);

    auto* top = new QHBoxLayout;
    top->addWidget(m_search, 1);
    top->addWidget(m_showPasswords);
    QHBoxLayout* buttons =
        MakeButtonRow([this] { AddUser(); }, [this] { EditUser(); }, [this] { DeleteUser(); });
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 4, 2, 2);
    layout->addLayout(top);
    layout->addWidget(m_view, 1);
    layout->addLayout(buttons);
    setTabOrder(m_showPasswords, m_view);  // the search line above the list comes first
}

CUsersModel& CUsersPage::Model() const { return static_cast<CUsersModel&>(ListModel()); }

void CUsersPage::ReadList(std::uint64_t read, std::function<void()> shown) {
    QPointer<CUsersPage> self(this);
    Access().ListUsers([self, read, shown = std::move(shown)](const AccessStatus& status,
                                                              std::vector<UserListEntry> users) {
        if (!ApplyList(self.data(), read, status)) return;
        self->Model().Show(users);
        shown();
    });
}

void CUsersPage::AddUser() {
    const std::shared_ptr<CAccountAccess> access = SharedAccess();
    CUserAccountDlg dialog(*access, this);
    dialog.OpenNew(QString::fromStdString(m_defaultDir()));
    if (dialog.exec() == QDialog::Accepted) ShowNew(dialog.RecordId());
}

void CUsersPage::EditUser() {
    EditSelected<CUserAccountDlg>("This user no longer exists: another editor deleted it.");
}

void CUsersPage::DeleteUser() {
    DeleteSelected("Do you really want to delete this user?", &CAccountAccess::DeleteUser);
}
