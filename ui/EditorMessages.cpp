#include "ui/EditorMessages.h"

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
