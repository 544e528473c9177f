#include "ui/UsersPage.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include "accounts/AccountEditor.h"
#include "ui/EditorMessages.h"
#include "ui/UserAccountDlg.h"
#include "ui/UsersModel.h"

namespace {
// Fitting the columns measures this many rows, not all of them: a list of thousands
// of accounts must open at once.
constexpr int kFitSampleRows = 200;
}  // namespace

CUsersPage::CUsersPage(std::string programDir, std::function<std::string()> defaultDir,
                       QWidget* parent)
    : QWidget(parent),
      m_programDir(std::move(programDir)),
      m_defaultDir(std::move(defaultDir)),
      m_model(new CUsersModel(this)),
      m_view(new QTableView(this)),
      m_search(new QLineEdit(this)),
      m_showPasswords(new QCheckBox("Show passwords", this)) {
    m_view->setModel(m_model);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setWordWrap(false);
    m_view->verticalHeader()->hide();
    m_view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_view->horizontalHeader()->setStretchLastSection(true);
    m_view->horizontalHeader()->setResizeContentsPrecision(kFitSampleRows);
    m_view->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);  // record order
    m_view->setSortingEnabled(true);
    connect(m_view, &QTableView::doubleClicked, this, &CUsersPage::EditUser);
    m_search->setPlaceholderText("Search user name, e-mail or group");
    m_search->setClearButtonEnabled(true);
    connect(m_search, &QLineEdit::textChanged, this, [this](const QString& text) {
        const std::int32_t selected = SelectedId();
        m_model->SetFilter(text);
        SelectId(selected);
    });
    connect(m_showPasswords, &QCheckBox::toggled, m_model, &CUsersModel::SetShowPasswords);

    auto* top = new QHBoxLayout;
    top->addWidget(m_search, 1);
    top->addWidget(m_showPasswords);
    auto* buttons = new QHBoxLayout;
    const auto addButton = [&](const char* text, void (CUsersPage::*slot)()) {
        auto* button = new QPushButton(text, this);
        connect(button, &QPushButton::clicked, this, slot);
        buttons->addWidget(button);
    };
    addButton("Add...", &CUsersPage::AddUser);
    addButton("Edit...", &CUsersPage::EditUser);
    addButton("Delete", &CUsersPage::DeleteUser);
    addButton("Refresh", &CUsersPage::Refresh);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 4, 2, 2);
    layout->addLayout(top);
    layout->addWidget(m_view, 1);
    layout->addLayout(buttons);
    setTabOrder(m_showPasswords, m_view);  // the search line above the list comes first
}

std::int32_t CUsersPage::SelectedId() const {
    const QModelIndexList rows = m_view->selectionModel()->selectedRows();
    return rows.isEmpty() ? 0 : m_model->IdAt(rows.front().row());
}

void CUsersPage::SelectId(std::int32_t id) {
    const int row = m_model->RowOf(id);
    if (row < 0) return;
    const QModelIndex index = m_model->index(row, 0);
    m_view->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_view->scrollTo(index);
}

void CUsersPage::FitColumns() {
    QHeaderView* header = m_view->horizontalHeader();
    for (int column = 0; column + 1 < m_model->columnCount(); ++column)
        m_view->resizeColumnToContents(column);
    header->setStretchLastSection(true);
}

void CUsersPage::Refresh() {
    const std::int32_t selected = SelectedId();
    m_model->Load(m_programDir);
    FitColumns();
    SelectId(selected);
}

void CUsersPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Refresh();
}

void CUsersPage::AddUser() {
    CUserAccountDlg dialog(m_programDir, this);
    dialog.OpenNew(QString::fromStdString(m_defaultDir()));
    if (dialog.exec() != QDialog::Accepted) return;
    Refresh();
    SelectId(dialog.RecordId());
    m_view->setFocus();
}

void CUsersPage::EditUser() {
    const std::int32_t id = SelectedId();
    if (id == 0) return;
    CUserAccountDlg dialog(m_programDir, this);
    if (!dialog.OpenExisting(id)) {
        ShowEditorError(this, "This user no longer exists: another editor deleted it.");
        Refresh();
        return;
    }
    if (dialog.exec() == QDialog::Accepted) Refresh();
}

void CUsersPage::DeleteUser() {
    const std::int32_t id = SelectedId();
    if (id == 0) return;
    if (!AskEditorQuestion(this, "Do you really want to delete this user?")) return;
    CAccountEditor editor(m_programDir);
    if (!editor.DeleteUser(id)) ShowEditorError(this, "Can't delete user");
    Refresh();
}
