#include "ui/GroupsPage.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include "accounts/AccountEditor.h"
#include "ui/EditorMessages.h"
#include "ui/GroupDlg.h"
#include "ui/GroupsModel.h"

CGroupsPage::CGroupsPage(std::string programDir, QWidget* parent)
    : QWidget(parent),
      m_programDir(std::move(programDir)),
      m_model(new CGroupsModel(this)),
      m_view(new QTableView(this)) {
    m_view->setModel(m_model);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->verticalHeader()->hide();
    m_view->horizontalHeader()->setStretchLastSection(true);
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

std::int32_t CGroupsPage::SelectedId() const {
    const QModelIndexList rows = m_view->selectionModel()->selectedRows();
    return rows.isEmpty() ? 0 : m_model->IdAt(rows.front().row());
}

void CGroupsPage::SelectId(std::int32_t id) {
    const int row = m_model->RowOf(id);
    if (row < 0) return;
    m_view->selectionModel()->setCurrentIndex(
        m_model->index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void CGroupsPage::Refresh() {
    const std::int32_t selected = SelectedId();
    m_model->Load(m_programDir);
    m_view->resizeColumnToContents(CGroupsModel::GroupId);
    SelectId(selected);
}

void CGroupsPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Refresh();
}

void CGroupsPage::AddGroup() {
    CGroupDlg dialog(m_programDir, this);
    if (dialog.exec() != QDialog::Accepted) return;
    Refresh();
    SelectId(dialog.RecordId());
    m_view->setFocus();
}

void CGroupsPage::EditGroup() {
    const std::int32_t id = SelectedId();
    if (id == 0) return;
    CGroupDlg dialog(m_programDir, this);
    if (!dialog.OpenExisting(id)) {
        ShowEditorError(this, "This group no longer exists: another editor deleted it.");
        Refresh();
        return;
    }
    if (dialog.exec() == QDialog::Accepted) Refresh();
}

void CGroupsPage::DeleteGroup() {
    const std::int32_t id = SelectedId();
    if (id == 0) return;
    if (!AskEditorQuestion(this, "Do you really want to delete this group?")) return;
    CAccountEditor editor(m_programDir);
    if (!editor.DeleteGroup(id))
        ShowEditorError(this, QString::fromStdString(editor.GetLastError()));
    Refresh();
}
