// What the users and groups pages share: the records of one account table in a list
// that is read again (through the page's CAccountAccess) whenever the page comes into
// view, the selected record kept selected across reads, and the steps around their
// editor dialogs.
#pragma once

#include <QAbstractTableModel>
#include <QDialog>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "ui/AccountAccess.h"
#include "ui/EditorMessages.h"

class QHBoxLayout;
class QTableView;

// The model of such a page: a snapshot of the table, its rows named by record id.
class CAccountListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

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

    // Reads and saves through `access` from now on (the window attached to another
    // server) and reads the list again. An editor open meanwhile keeps the access it
    // was opened with until it closes.
    void SetAccess(std::shared_ptr<CAccountAccess> access);

public slots:
    // Reads the list again, keeping the selected record selected. A list that cannot be
    // read (a server not answering) leaves the rows shown.
    void Refresh();

protected:
    // The page shows `model`, which it takes as its child, and reads through `access`
    // (shared by the users and groups pages).
    CAccountListPage(std::shared_ptr<CAccountAccess> access, CAccountListModel* model,
                     QWidget* parent);

    CAccountAccess& Access() const { return *m_access; }
    // The access for an editor opened now: it lives while the editor holds the copy.
    std::shared_ptr<CAccountAccess> SharedAccess() const { return m_access; }
    CAccountListModel& ListModel() const { return *m_model; }
    // Reads the list into the model, then runs `shown`; neither when the page is gone
    // meanwhile. The list is shown only by `ApplyList` (read number `read`).
    virtual void ReadList(std::uint64_t read, std::function<void()> shown) = 0;
    // Whether the list of read `read` may be shown: it arrived, it is the latest read
    // asked for (answers of a server may overtake each other), and the page lives. A list
    // that could not be read is reported, except for a lost connection, which the window
    // shows itself; the rows shown stay.
    // `page` is null when it is gone.
    static bool ApplyList(CAccountListPage* page, std::uint64_t read, const AccessStatus& status);
    // Refresh, then `then`.
    void ReadAgain(std::function<void()> then);
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
    // Asks `question`, then deletes the selected record with `remove` (a failure is
    // reported), and reads the list again.
    void DeleteSelected(const QString& question,
                        void (CAccountAccess::*remove)(const AccountKey&, CAccountAccess::Done));

    QTableView* const m_view;

private:
    void FitColumns();

    std::shared_ptr<CAccountAccess> m_access;
    CAccountListModel* const m_model;
    std::uint64_t m_listReads = 0;
    bool m_opening = false;  // an editor's record is being read: a second click waits
};

template <typename Dialog>
void CAccountListPage::EditSelected(const QString& goneText) {
    const std::int32_t id = SelectedId();
    if (id == 0 || m_opening) return;
    m_opening = true;
    QPointer<CAccountListPage> self(this);
    std::shared_ptr<CAccountAccess> access = m_access;
    QPointer<Dialog> dialog(new Dialog(*access, this));
    dialog->OpenExisting(
        {id, m_model->NameOf(id)}, [self, dialog, goneText, access](const AccessStatus& status) {
            if (!self || !dialog) return;
            self->m_opening = false;
            if (!status.ok()) {
                delete dialog.data();
                const bool gone = status.outcome == AccessOutcome::Gone;
                ShowEditorError(self, gone ? goneText : QString::fromStdString(status.message));
                self->Refresh();
                return;
            }
            const bool saved = dialog->exec() == QDialog::Accepted;
            delete dialog.data();
            if (saved && self) self->Refresh();
        });
}
