// The help page of the program, bundled with it, so help works without a browser.
#pragma once

#include <QDialog>

class QTextBrowser;

class CHelpDlg : public QDialog {
    Q_OBJECT
public:
    explicit CHelpDlg(QWidget* parent = nullptr);
    QTextBrowser& Browser() { return *m_browser; }

private:
    QTextBrowser* m_browser;
};
