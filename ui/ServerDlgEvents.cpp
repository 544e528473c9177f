// The main window's reactions to window events.
#include <QCloseEvent>
#include <QKeyEvent>

#include "ui/InProcessServerLink.h"
#include "ui/MessageBoxes.h"
#include "ui/ServerDlg.h"
#include "ui/SystemTray.h"

bool CServerDlg::ConfirmExit() {
    return ShowMessageBox(
               this, {QMessageBox::Question, "Tarvona FTP Server", "Do you really want to exit?",
                      QMessageBox::Yes | QMessageBox::No}) == QMessageBox::Yes;
}

void CServerDlg::closeEvent(QCloseEvent* event) {
    if (!m_exiting && !ConfirmExit()) {
        event->ignore();
        return;
    }
    m_exiting = true;
    // Only the server inside the window ends with it; one the window attached to runs on.
    m_inside->Stop();
    if (m_inside->IsStopping()) {  // the window ends with the stop
        m_closeAfterStop = true;
        m_startAfterStop = false;
        event->ignore();
        return;
    }
    ApplyPendingEvents();
    event->accept();
    emit Finished();
}

// Minimising hides the window into the notification area, where there is one.
void CServerDlg::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && CSystemTray::Available())
        QTimer::singleShot(0, this, &QWidget::hide);
}

void CServerDlg::HideIntoTray() {
    if (CSystemTray::Available())
        hide();
    else
        showMinimized();
}

// Enter and Escape never close or change the window.
void CServerDlg::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            event->accept();
            return;
        default:
            QMainWindow::keyPressEvent(event);
    }
}
