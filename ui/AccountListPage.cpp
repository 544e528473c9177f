#include "ui/AccountListPage.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTableView>

#include "ui/TableViews.h"

CAccountListPage::CAccountListPage(std::shared_ptr<CAccountAccess> access, CAccountListModel* model,
                                   QWidget* parent)
    : QWidget(parent), m_view(new QTableView(this)), m_access(std::move(access)), m_model(model) {
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

void CAccountListPage::SetAccess(std::shared_ptr<CAccountAccess> access) {
    m_access = std::move(access);
    Refresh();
}

void CAccountListPage::Refresh() { ReadAgain({}); }

void CAccountListPage::ReadAgain(std::function<void()> then) {
    const std::int32_t selected = SelectedId();
    ReadList(++m_listReads, [this, selected, then = std::move(then)] {
        FitColumns();
        SelectId(selected);
        if (then) then();
    });
}

bool CAccountListPage::ApplyList(CAccountListPage* page, std::uint64_t read,
                                 const AccessStatus& status) {
    if (!page || read != page->m_listReads) return false;
    if (status.ok()) return true;
    if (status.outcome != AccessOutcome::Lost)
        ShowEditorError(page, QString::fromStdString(status.message));
    return false;
}

void CAccountListPage::FitColumns() {
    // Every column but the last, which takes the rest of the width.
    for (int column = 0; column + 1 < m_model->columnCount(); ++column)
        m_view->resizeColumnToContents(column);
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
    ReadAgain([this, id] {
        SelectId(id);
        m_view->setFocus();
    });
}

void CAccountListPage::DeleteSelected(const QString& question,
                                      void (CAccountAccess::*remove)(const AccountKey&,
                                                                     CAccountAccess::Done)) {
    const std::int32_t id = SelectedId();
    if (id == 0) return;
    if (!AskEditorQuestion(this, question)) return;
    QPointer<CAccountListPage> self(this);
    (m_access.get()->*remove)({id, m_model->NameOf(id)}, [self](const AccessStatus& status) {
        if (!self) return;
        if (!status.ok()) ShowEditorError(self, QString::fromStdString(status.message));
        self->Refresh();
    });
}
