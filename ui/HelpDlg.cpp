#include "ui/HelpDlg.h"

#include <QDialogButtonBox>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "ui/Resources.h"

CHelpDlg::CHelpDlg(QWidget* parent) : QDialog(parent), m_browser(new QTextBrowser(this)) {
    EnsureUiResources();
    setWindowTitle("Tarvona FTP Server Help");
    m_browser->setOpenExternalLinks(true);
    m_browser->setSource(QUrl("qrc:/help/index.html"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_browser);
    layout->addWidget(buttons);
    resize(640, 560);
}
