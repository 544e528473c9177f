// The "Virtual Folders" tab of the user and group editors: the folder list, "Add...",
// "Edit...", "Delete", the nine permission boxes of the selected own folder, and the
// "Move" menu ("Up", "Down") on a right click.
#pragma once

#include <QWidget>

class CPermissionBoxes;
class CVirtualFoldersModel;
class QMenu;
class QPushButton;
class QTableView;

class CVirtualFoldersTab : public QWidget {
    Q_OBJECT
public:
    explicit CVirtualFoldersTab(QWidget* parent = nullptr);

    CVirtualFoldersModel& Model() { return *m_model; }
    QTableView& View() { return *m_view; }
    CPermissionBoxes& Boxes() { return *m_boxes; }
    QPushButton& EditButton() { return *m_edit; }
    // The selected row, -1 when none.
    int SelectedRow() const;
    void SelectRow(int row);
    // Selects the first row and fits the columns, after the list was filled.
    void ShowLoaded();
    // The menu a right click opens.
    QMenu& MoveMenu() { return *m_moveMenu; }

public slots:
    // Opens "Virtual Folder" empty; OK adds an own folder after the last own one.
    void AddFolder();
    // Opens "Virtual Folder" with the selected own folder; OK changes it.
    void EditFolder();
    // Asks, then removes the selected own folder.
    void DeleteFolder();
    void MoveUp();
    void MoveDown();

private:
    void OnSelectionChanged();
    void OnPermissionClicked();
    void FitColumns();
    bool IsTaken(const QString& name, int exceptRow);

    CVirtualFoldersModel* m_model;
    QTableView* m_view;
    CPermissionBoxes* m_boxes;
    QPushButton* m_edit;
    QPushButton* m_delete;
    QMenu* m_moveMenu;
};
