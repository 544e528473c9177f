// The main window's reactions to the sink's queued events and to window events.
#include <QCloseEvent>
#include <QKeyEvent>

#include "server/FtpServer.h"
#include "server/SessionEvents.h"
#include "ui/LogPage.h"
#include "ui/MessageBoxes.h"
#include "ui/OnlineUsersModel.h"
#include "ui/OnlineUsersPage.h"
#include "ui/ServerDlg.h"
#include "ui/SystemTray.h"
#include "ui/TrafficStatus.h"

void CServerDlg::ApplyPendingEvents() {
    std::vector<QString> lines;
    for (const WindowEvent& event : m_sink.TakeEvents()) ApplyEvent(event, lines);
    m_logPage->AppendLines(std::move(lines));
}

// Log lines are collected and appended in one step; anything that must happen between
// two lines (emptying the page) first appends what came before it.
void CServerDlg::ApplyEvent(const WindowEvent& event, std::vector<QString>& lines) {
    COnlineUsersModel& online = m_onlinePage->Model();
    switch (event.kind) {
        case WindowEvent::Kind::LogLine:
            lines.push_back(QString::fromStdString(event.text));
            break;
        case WindowEvent::Kind::ClearLog:
            lines.clear();
            m_logPage->ClearAll();
            break;
        case WindowEvent::Kind::LogOpenFailed:
            ShowLogOpenError(QString::fromStdString(event.text));
            break;
        case WindowEvent::Kind::SessionAdded:
            online.AddSession(event.sessionId, event.text, event.detail, event.when);
            break;
        case WindowEvent::Kind::SessionRemoved:
            online.RemoveSession(event.sessionId);
            break;
        case WindowEvent::Kind::SessionCommand:
            online.NoteCommand(event.sessionId, event.text, event.detail, event.when);
            break;
        case WindowEvent::Kind::BytesReceived:
            m_traffic->SetReceived(event.value, event.when);
            break;
        case WindowEvent::Kind::BytesSent:
            m_traffic->SetSent(event.value, event.when);
            break;
        case WindowEvent::Kind::Statistic:
            if (event.index == kStatisticCurrentConnections) m_traffic->SetSessions(event.value);
            break;
    }
}

// Shown after the current batch, outside the drain, so that the drain timer never runs
// inside the box's own event loop.
void CServerDlg::ShowLogOpenError(const QString& text) {
    QTimer::singleShot(0, this, [text] {
        ShowMessageBox(nullptr,
                       {QMessageBox::Critical, "Error in CLogFile::Open()", text, QMessageBox::Ok});
    });
}

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
    StopServer();
    if (m_server.IsStopping()) {  // the window ends with the stop
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
