// The "Group" tab of the group editor: the group's name and notes.
#pragma once

#include <QWidget>

class QLineEdit;
class QPlainTextEdit;

class CGroupTab : public QWidget {
    Q_OBJECT
public:
    explicit CGroupTab(QWidget* parent = nullptr);

    QLineEdit& NameEdit() { return *m_name; }
    QPlainTextEdit& NotesEdit() { return *m_notes; }

private:
    QLineEdit* m_name;
    QPlainTextEdit* m_notes;
};
