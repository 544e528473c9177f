// The "Logs" tab: the activity-log lines in order of arrival, with "Clear All".
#pragma once

#include <QWidget>
#include <vector>

class CLogModel;
class QListView;

class CLogPage : public QWidget {
    Q_OBJECT
public:
    explicit CLogPage(QWidget* parent = nullptr);

    // Appends a batch of lines; the view follows the end unless the user scrolled up.
    void AppendLines(std::vector<QString> lines);
    CLogModel& Model() { return *m_model; }
    QListView& View() { return *m_view; }

public slots:
    // Empties the page; the log files are not touched.
    void ClearAll();

private:
    void ShowContextMenu(const QPoint& position);

    CLogModel* m_model;
    QListView* m_view;
};
