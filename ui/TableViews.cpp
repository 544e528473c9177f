#include "ui/TableViews.h"

#include <QHeaderView>
#include <QTableView>

void SetUpRowTable(QTableView& view, QAbstractItemModel* model) {
    view.setModel(model);
    view.setSelectionBehavior(QAbstractItemView::SelectRows);
    view.setSelectionMode(QAbstractItemView::SingleSelection);
    view.setEditTriggers(QAbstractItemView::NoEditTriggers);
    view.verticalHeader()->hide();
    view.horizontalHeader()->setStretchLastSection(true);
}

int SelectedRow(const QTableView& view) {
    const QModelIndexList rows = view.selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.front().row();
}
