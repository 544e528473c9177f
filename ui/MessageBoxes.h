// Every message box of the window goes through here, so that a test can read its text
// and answer it instead of a person (no modal box ever blocks a test).
#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>

struct MessageBoxRequest {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString caption;
    QString text;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
};

using MessageBoxHook = std::function<QMessageBox::StandardButton(const MessageBoxRequest&)>;

// While a hook is set, boxes are not shown: the hook sees each request and its result
// is the answer. An empty hook shows boxes again. Main thread.
void SetMessageBoxHook(MessageBoxHook hook);

// Shows a modal box (or asks the hook) and gives the button chosen.
QMessageBox::StandardButton ShowMessageBox(QWidget* parent, const MessageBoxRequest& request);
