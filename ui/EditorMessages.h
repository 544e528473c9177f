// The account editors' boxes: errors and Yes/No questions, all with the program's
// caption, through ShowMessageBox so that tests answer them.
#pragma once

#include <QString>

class QWidget;

// An error box (error icon, OK).
void ShowEditorError(QWidget* parent, const QString& text);
// A question box with Yes and No; true for Yes.
bool AskEditorQuestion(QWidget* parent, const QString& text);
