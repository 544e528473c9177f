#include "ui/VirtualFoldersTab.h"

#include <QHBoxLayout>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include "ui/EditorMessages.h"
#include "ui/PermissionBoxes.h"
#include "ui/TableViews.h"
#include "ui/VirtualFolderDlg.h"
#include "ui/VirtualFoldersModel.h"

CVirtualFoldersTab::CVirtualFoldersTab(QWidget* parent)
    : QWidget(parent),
      m_model(new CVirtualFoldersModel(this)),
      m_view(new QTableView(this)),
      m_boxes(new CPermissionBoxes(this)),
      m_edit(new QPushButton("Edit...", this)),
      m_delete(new QPushButton("Delete", this)),
      m_moveMenu(new QMenu("Move", this)) {
    SetUpRowTable(*m_view, m_model);
    m_view->setContextMenuPolicy(Qt::CustomContextMenu);
    m_moveMenu->addAction("Up", this, &CVirtualFoldersTab::MoveUp);
    m_moveMenu->addAction("Down", this, &CVirtualFoldersTab::MoveDown);
    connect(m_view, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        if (SelectedRow() >= 0) m_moveMenu->exec(m_view->viewport()->mapToGlobal(at));
    });
    connect(m_view, &QTableView::doubleClicked, this, [this] {
        if (m_edit->isEnabled()) EditFolder();
    });
    connect(m_view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CVirtualFoldersTab::OnSelectionChanged);
    connect(m_boxes, &CPermissionBoxes::Toggled, this, &CVirtualFoldersTab::OnPermissionClicked);
    auto* add = new QPushButton("Add...", this);
    connect(add, &QPushButton::clicked, this, &CVirtualFoldersTab::AddFolder);
    connect(m_edit, &QPushButton::clicked, this, &CVirtualFoldersTab::EditFolder);
    connect(m_delete, &QPushButton::clicked, this, &CVirtualFoldersTab::DeleteFolder);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(add);
    buttons->addWidget(m_edit);
    buttons->addWidget(m_delete);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_view, 1);
    layout->addLayout(buttons);
    layout->addWidget(m_boxes);
    // Tab follows reading order: the buttons under the list come before the boxes.
    setTabOrder(m_view, add);
    setTabOrder(add, m_edit);
    setTabOrder(m_edit, m_delete);
    OnSelectionChanged();
}

int CVirtualFoldersTab::SelectedRow() const { return ::SelectedRow(*m_view); }

void CVirtualFoldersTab::SelectRow(int row) {
    if (row < 0 || row >= m_model->rowCount()) return;
    m_view->selectionModel()->select(
        m_model->index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_view->setCurrentIndex(m_model->index(row, 0));
    OnSelectionChanged();  // also when the row was selected already and has changed
}

void CVirtualFoldersTab::FitColumns() { m_view->resizeColumnsToContents(); }

void CVirtualFoldersTab::ShowLoaded() {
    SelectRow(0);
    FitColumns();
}

void CVirtualFoldersTab::OnSelectionChanged() {
    const int row = SelectedRow();
    const bool own = m_model->IsOwn(row);
    m_edit->setEnabled(own);
    m_delete->setEnabled(own);
    m_boxes->setEnabled(own);
    if (row >= 0) m_boxes->SetPermissions(m_model->PermissionsAt(row));
}

void CVirtualFoldersTab::OnPermissionClicked() {
    const int row = SelectedRow();
    if (!m_model->IsOwn(row)) return;
    m_model->SetPermissions(row, m_boxes->Permissions());
}

// NOTE: the folder table keeps one row per name and would drop a second one unseen.
bool CVirtualFoldersTab::IsTaken(const QString& name, int exceptRow) {
    if (!m_model->HasOwnName(name, exceptRow)) return false;
    ShowEditorError(this, QString("A virtual folder named \"%1\" exists already.").arg(name));
    return true;
}

void CVirtualFoldersTab::AddFolder() {
    CVirtualFolderDlg dialog({}, {}, this);
    if (dialog.exec() != QDialog::Accepted || IsTaken(dialog.Name(), -1)) return;
    SelectRow(m_model->AddOwn(dialog.Name(), dialog.Path()));
    FitColumns();
}

void CVirtualFoldersTab::EditFolder() {
    const int row = SelectedRow();
    if (!m_model->IsOwn(row)) return;
    CVirtualFolderDlg dialog(m_model->Text(row, CVirtualFoldersModel::Name),
                             m_model->Text(row, CVirtualFoldersModel::Path), this);
    if (dialog.exec() != QDialog::Accepted || IsTaken(dialog.Name(), row)) return;
    m_model->Rename(row, dialog.Name(), dialog.Path());
    FitColumns();
}

void CVirtualFoldersTab::DeleteFolder() {
    const int row = SelectedRow();
    if (!m_model->IsOwn(row)) return;
    if (!AskEditorQuestion(this, "Do you really want to delete this virtual folder?")) return;
    m_model->Remove(row);
    OnSelectionChanged();
}

void CVirtualFoldersTab::MoveUp() { SelectRow(m_model->MoveUp(SelectedRow())); }

void CVirtualFoldersTab::MoveDown() { SelectRow(m_model->MoveDown(SelectedRow())); }
