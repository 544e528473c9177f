#include "ui/EditorMessages.h"

#include <QDialog>

#include "accounts/AccountEditor.h"
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

void EndEditorSave(QDialog& dialog, const CAccountEditor& editor, bool saved, std::int32_t savedId,
                   std::int32_t& recordId) {
    const bool folderTableFailed = editor.GetLastFailure() == EditFailure::FolderTable;
    if (saved || folderTableFailed) recordId = savedId;
    if (saved)
        dialog.accept();
    else if (folderTableFailed)
        ShowEditorError(&dialog, "Can't create virtual folder database file!");
    else
        ShowEditorError(&dialog, QString::fromStdString(editor.GetLastError()));
}
