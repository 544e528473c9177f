#include "ui/AcmeOptionsTab.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>

#include "config/OptionChecks.h"

namespace {
using V = OptionValues;
}  // namespace

CAcmeOptionsTab::CAcmeOptionsTab(QWidget* parent) : COptionsSection(parent) {
    QFormLayout* form = MakeSectionForm(this);
    auto* about = new QLabel(
        "With domains set, the server gets its certificate from the CA and renews it.", this);
    about->setWordWrap(true);
    form->addRow(about);
    m_domains = AddTextRow(*form, "Domains:", &V::acmeDomains);
    m_domains->setPlaceholderText("ftp.example.org, files.example.org (empty: off)");
    m_directory = AddTextRow(*form, "Directory URL:", &V::acmeDirectory);
    m_directory->setPlaceholderText("https://...");
    m_email = AddTextRow(*form, "E-mail:", &V::acmeEmail);
    m_email->setPlaceholderText("the CA's contact for this account (optional)");
    m_httpPort = AddNumberRow(*form, "HTTP challenge port:", &V::acmeHttpPort,
                              "HTTP challenge port", "1 to 65535 (the CA asks on port 80)");
    m_caFile = AddFileRow(*form, "Directory CA file:", &V::acmeDirectoryCaFile);
    m_caFile->setPlaceholderText("empty: the system's CAs");
}

std::vector<OptionMember> CAcmeOptionsTab::Members() const {
    return {&V::acmeDomains, &V::acmeDirectory, &V::acmeEmail, &V::acmeHttpPort,
            &V::acmeDirectoryCaFile};
}

QString CAcmeOptionsTab::Check(const OptionValues& values) const {
    return QString::fromStdString(AcmeOptionsProblem(values));
}
