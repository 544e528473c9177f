// The table views of the account pages and the folder tab: whole rows, one at a time,
// never edited in place.
#pragma once

class QAbstractItemModel;
class QTableView;

// Shows `model` in `view` with single-row selection, no in-place editing, no row
// numbers, and the last column taking the rest of the width.
void SetUpRowTable(QTableView& view, QAbstractItemModel* model);
// The selected row of `view`; -1 when none.
int SelectedRow(const QTableView& view);
