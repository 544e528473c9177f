#include "ui/AboutDlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

#include "generated/Version.h"
#include "ui/Resources.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    EnsureUiResources();
    setWindowTitle("About Tarvona FTP Server");
    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon(":/tarvona.svg").pixmap(64, 64));
    auto* text = new QLabel(QString("Tarvona FTP Server Version %1").arg(kTarvonaVersion), this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* row = new QHBoxLayout;
    row->addWidget(icon);
    row->addSpacing(12);
    row->addWidget(text, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}
