#include "ui/LogPage.h"

#include <QListView>
#include <QMenu>
#include <QScrollBar>
#include <QVBoxLayout>

#include "ui/LogModel.h"

CLogPage::CLogPage(QWidget* parent)
    : QWidget(parent),
      m_model(new CLogModel(CLogModel::kDefaultMaxLines, this)),
      m_view(new QListView(this)) {
    m_view->setModel(m_model);
    // Every line has the same height, so the view never measures 100 000 lines.
    m_view->setUniformItemSizes(true);
    m_view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_view, &QWidget::customContextMenuRequested, this, &CLogPage::ShowContextMenu);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 4, 2, 2);
    layout->addWidget(m_view);
}

void CLogPage::AppendLines(std::vector<QString> lines) {
    QScrollBar* bar = m_view->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    m_model->Append(std::move(lines));
    if (atEnd) m_view->scrollToBottom();
}

void CLogPage::ClearAll() { m_model->Clear(); }

void CLogPage::ShowContextMenu(const QPoint& position) {
    QMenu menu(this);
    menu.addAction("Clear All", this, &CLogPage::ClearAll);
    menu.exec(m_view->viewport()->mapToGlobal(position));
}
