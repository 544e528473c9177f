#include "ui/EditorMessages.h"

#include <QDialog>

#include "ui/AccountAccess.h"
#include "ui/MessageBoxes.h"

namespace {
constexpr char kCaption[] = "Tarvona FTP Server";
}

void ShowEditorError(QWidget* parent, const QString& text) {
    ShowMessageBox(parent, {QMessageBox::Critical, kCaption, text, QMessageBox::Ok});
}

bool AskEditorQuestion(QWidget* parent, const QString& text) {
    return ShowMessageBox(parent, {QMessageBox::Question, kCaption, text,
                                   QMessageBox::Yes | QMessageBox::No}) == QMessageBox::Yes;
}

void EndEditorSave(QDialog& dialog, const AccessStatus& status,
                   const std::function<void()>& reload) {
    const QString message = QString::fromStdString(status.message);
    switch (status.outcome) {
        case AccessOutcome::Done:
            dialog.accept();
            return;
        case AccessOutcome::Stale:
            if (AskEditorQuestion(&dialog, message + "\n\nIt was changed by someone else; reload?"))
                reload();
            return;
        case AccessOutcome::Lost:
            ShowEditorError(&dialog, "Save failed: " + message +
                                         "\nYour changes are kept: save again once the server "
                                         "answers.");
            return;
        default:
            ShowEditorError(&dialog, message);
    }
}
