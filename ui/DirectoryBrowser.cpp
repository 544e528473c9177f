#include "ui/DirectoryBrowser.h"

#include <QFileDialog>
#include <QLineEdit>

#include "ui/EditorMessages.h"

bool BrowseForDirectory(QWidget* parent, QLineEdit& edit) {
    QFileDialog dialog(parent, "Select a Directory:");
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setSupportedSchemes({"file"});
    if (!edit.text().isEmpty()) dialog.setDirectory(edit.text());
    if (dialog.exec() != QDialog::Accepted) return false;
    const QList<QUrl> chosen = dialog.selectedUrls();
    if (chosen.isEmpty() || !chosen.front().isLocalFile()) {
        ShowEditorError(parent, "Failed to get directory");
        return false;
    }
    edit.setText(chosen.front().toLocalFile());
    return true;
}
