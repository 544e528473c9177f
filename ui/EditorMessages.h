// The account editors' boxes: errors and Yes/No questions, all with the program's
// caption, through ShowMessageBox so that tests answer them.
#pragma once

#include <QString>
#include <functional>

struct AccessStatus;
class QDialog;
class QWidget;

// An error box (error icon, OK).
void ShowEditorError(QWidget* parent, const QString& text);
// A question box with Yes and No; true for Yes.
bool AskEditorQuestion(QWidget* parent, const QString& text);
// Ends a Save of the user or group dialog `dialog` with the access's `status`: closes it
// with OK, or says why in a box and leaves it open with its edits. A record changed by
// someone else meanwhile is offered to be read again (`reload`, which drops the edits).
void EndEditorSave(QDialog& dialog, const AccessStatus& status,
                   const std::function<void()>& reload);
