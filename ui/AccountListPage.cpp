#include "ui/AccountListPage.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTableView>

#include "ui/TableViews.h"

CAccountListPage::CAccountListPage(std::string programDir, CAccountListModel* model,
                                   QWidget* parent)
    : QWidget(parent),
      m_view(new QTableView(this)),
      m_programDir(std::move(programDir)),
      m_model(model) {
    m_model->setParent(this);
    SetUpRowTable(*m_view, m_model);
}

std::int32_t CAccountListPage::SelectedId() const {
    const int row = SelectedRow(*m_view);
    return row < 0 ? 0 : m_model->IdAt(row);
}

void CAccountListPage::SelectId(std::int32_t id) {
    const int row = m_model->RowOf(id);
    if (row < 0) return;
    const QModelIndex index = m_model->index(row, 0);
    m_view->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_view->scrollTo(index);
}

void CAccountListPage::Refresh() {
    const std::int32_t selected = SelectedId();
    m_model->Load(m_programDir);
    // Every column but the last, which takes the rest of the width.
    for (int column = 0; column + 1 < m_model->columnCount(); ++column)
        m_view->resizeColumnToContents(column);
    SelectId(selected);
}

void CAccountListPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Refresh();
}

QHBoxLayout* CAccountListPage::MakeButtonRow(const std::function<void()>& add,
                                             const std::function<void()>& edit,
                                             const std::function<void()>& remove) {
    auto* row = new QHBoxLayout;
    const auto addButton = [&](const char* text, const std::function<void()>& step) {
        auto* button = new QPushButton(text, this);
        connect(button, &QPushButton::clicked, this, step);
        row->addWidget(button);
    };
    addButton("Add...", add);
    addButton("Edit...", edit);
    addButton("Delete", remove);
    addButton("Refresh", [this] { Refresh(); });
    row->addStretch();
    return row;
}

void CAccountListPage::ShowNew(std::int32_t id) {
    Refresh();
    NoteEdit(AccountEdit::Added, m_model->NameOf(id));
    SelectId(id);
    m_view->setFocus();
}

void CAccountListPage::DeleteSelected(const QString& question,
                                      const std::function<void(std::int32_t)>& remove) {
    const std::int32_t id = SelectedId();
    if (id == 0) return;
    if (!AskEditorQuestion(this, question)) return;
    const std::string name = m_model->NameOf(id);
    remove(id);
    Refresh();
    // A refused delete has reported itself and left the record in the table.
    if (m_model->NameOf(id).empty()) NoteEdit(AccountEdit::Deleted, name);
}
