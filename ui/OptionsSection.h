// A tab of the options page that edits one option.ini section: it shows the values read,
// pulls its controls into the values a save writes, checking them first, and says when an
// edit is done. Number and text rows are built and pulled here, alike for every section.
#pragma once

#include <QString>
#include <QWidget>
#include <vector>

#include "config/Options.h"

class QFormLayout;
class QLineEdit;
class QPushButton;

class COptionsSection : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;

    // The keys the section edits.
    virtual std::vector<OptionMember> Members() const = 0;
    virtual void ShowValues(const OptionValues& values);
    // Pulls the controls into `values`: empty when they can be saved, else the message of
    // the first problem (`values` may then hold part of the edit: save none of it).
    virtual QString Pull(OptionValues& values) const;
    // Attached to a server on another machine: this machine's file dialogs do not apply.
    void SetOnRemoteMachine(bool remote);

signals:
    // An edit is done (Enter, the focus left, a box or list changed): time to save.
    void editDone();

protected:
    // A digits edit for `member`, with `unit` after it; `name` is what a message calls it.
    QLineEdit* AddNumberRow(QFormLayout& form, const QString& label, IntOption member,
                            const QString& name, const QString& unit = {});
    QLineEdit* AddTextRow(QFormLayout& form, const QString& label, TextOption member);
    // A text edit for `member` that the caller places itself (in a grid, say).
    QLineEdit* AddTextField(TextOption member);
    // A text row with "Browse..." for a file of this machine (hidden on a remote one).
    QLineEdit* AddFileRow(QFormLayout& form, const QString& label, TextOption member);
    // The section's own check of the values pulled; empty when they can be saved.
    virtual QString Check(const OptionValues& values) const = 0;

private:
    struct NumberField {
        QLineEdit* edit;
        IntOption member;
        QString name;
    };
    struct TextField {
        QLineEdit* edit;
        TextOption member;
    };
    std::vector<NumberField> m_numbers;
    std::vector<TextField> m_texts;
    std::vector<QPushButton*> m_browseButtons;
};

// A form layout the sections share, so their rows line up alike.
QFormLayout* MakeSectionForm(QWidget* parent);
