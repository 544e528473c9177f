// The "Limitations" tab of the user editor: download and upload speed limits and the
// disk quota, with the space used so far and a button that sets it back to 0.
#pragma once

#include <QWidget>
#include <string_view>
#include <vector>

#include "accounts/AccountStore.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

class CLimitationsTab : public QWidget {
    Q_OBJECT
public:
    explicit CLimitationsTab(QWidget* parent = nullptr);

    void Fill(const UserRecord& user);
    // Stores the flags, speeds and quotas into `user`.
    void Store(UserRecord& user) const;
    // The fields this tab shows and Store fills.
    static std::vector<std::string_view> OwnedFields();
    // True when "Current Quota" no longer shows what Fill put there (typed or reset).
    bool QuotaInUseEdited() const;

    QCheckBox& DownloadLimitBox() { return *m_downloadLimit; }
    QLineEdit& DownloadSpeedEdit() { return *m_downloadSpeed; }
    QCheckBox& UploadLimitBox() { return *m_uploadLimit; }
    QLineEdit& UploadSpeedEdit() { return *m_uploadSpeed; }
    QLineEdit& QuotaMaxEdit() { return *m_quotaMax; }
    QLineEdit& QuotaCurrentEdit() { return *m_quotaCurrent; }
    QPushButton& ResetButton() { return *m_reset; }

private:
    QWidget* MakeSpeedGroup();
    QWidget* MakeQuotaGroup();

    QCheckBox* m_downloadLimit;
    QLineEdit* m_downloadSpeed;
    QCheckBox* m_uploadLimit;
    QLineEdit* m_uploadSpeed;
    QLineEdit* m_quotaMax;
    QLineEdit* m_quotaCurrent;
    QPushButton* m_reset;
    QString m_filledQuotaInUse;
};
