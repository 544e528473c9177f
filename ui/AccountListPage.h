// What the users and groups pages share: the records of one account table in a list
// that is read again whenever the page comes into view, the selected record kept
// selected across reads, and the steps around their editor dialogs.
#pragma once

#include <QAbstractTableModel>
#include <QDialog>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <string>

#include "server/AdminOperations.h"
#include "ui/EditorMessages.h"

class QHBoxLayout;
class QTableView;

// The model of such a page: a snapshot of the table, its rows named by record id.
class CAccountListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    // Reads every record of the table in `programDir`; an unreadable table gives no rows.
    // Main thread.
    virtual void Load(const std::string& programDir) = 0;
    virtual std::int32_t IdAt(int row) const = 0;
    // The row showing the record `id`; -1 when it is not shown.
    virtual int RowOf(std::int32_t id) const = 0;
    // The name of the record `id`, shown or not; empty when the snapshot lacks it.
    virtual std::string NameOf(std::int32_t id) const = 0;
};

class CAccountListPage : public QWidget {
    Q_OBJECT
public:
    QTableView& View() { return *m_view; }
    // The record of the selected row; 0 when none.
    std::int32_t SelectedId() const;
    // Selects the row of the record `id` when it is shown.
    void SelectId(std::int32_t id);

    // Told of every record the page's editors added, changed or deleted, with its name,
    // so that the administrator's edit is logged (CAdminOperations::NoteAccountEdit).
    using EditNote = std::function<void(AccountEdit edit, const std::string& name)>;
    void SetEditNote(EditNote note) { m_editNote = std::move(note); }

public slots:
    // Reads the list again, keeping the selected record selected.
    void Refresh();

protected:
    // The page shows `model`, which it takes as its child.
    CAccountListPage(std::string programDir, CAccountListModel* model, QWidget* parent);

    const std::string& ProgramDir() const { return m_programDir; }
    CAccountListModel& ListModel() const { return *m_model; }
    // Reads the list (each time the page comes to view: other editors, tarvona-admin and
    // the other page may have changed the tables meanwhile).
    void showEvent(QShowEvent* event) override;

    // The row under the list: "Add...", "Edit...", "Delete" running the page's steps,
    // and "Refresh".
    QHBoxLayout* MakeButtonRow(const std::function<void()>& add, const std::function<void()>& edit,
                               const std::function<void()>& remove);
    // After a new record was saved: reads the list again and selects it.
    void ShowNew(std::int32_t id);
    // Opens the selected record in a `Dialog`; the list is read again after a save. A
    // record deleted meanwhile is reported with `goneText` and the list read again.
    template <typename Dialog>
    void EditSelected(const QString& goneText);
    // Asks `question`, then lets `remove` delete the selected record (and report a
    // failure), and reads the list again.
    void DeleteSelected(const QString& question, const std::function<void(std::int32_t)>& remove);

    QTableView* const m_view;

private:
    void NoteEdit(AccountEdit edit, const std::string& name) const {
        if (m_editNote) m_editNote(edit, name);
    }

    const std::string m_programDir;
    CAccountListModel* const m_model;
    EditNote m_editNote;
};

template <typename Dialog>
void CAccountListPage::EditSelected(const QString& goneText) {
    const std::int32_t id = SelectedId();
    if (id == 0) return;
    Dialog dialog(m_programDir, this);
    if (!dialog.OpenExisting(id)) {
        ShowEditorError(this, goneText);
        Refresh();
        return;
    }
    if (dialog.exec() != QDialog::Accepted) return;
    Refresh();
    NoteEdit(AccountEdit::Changed, m_model->NameOf(id));
}
