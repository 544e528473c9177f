// The settings of a running server through its administration API: GET/PUT
// /api/v1/options with the ETag read, /api/v1/iplists. Requests go one at a time, so a
// save always carries the ETag of the one before it.
#pragma once

#include <QString>
#include <deque>
#include <memory>

#include "ui/SettingsAccess.h"

struct AdminReply;

class CApiSettingsAccess : public CSettingsAccess {
public:
    explicit CApiSettingsAccess(CAdminConnection& connection) : m_connection(connection) {}

    void ReadOptions(std::function<void(const OptionsRead&)> done) override;
    void SaveOptions(const OptionValues& values, std::vector<OptionMember> members,
                     std::function<void(const OptionsSaveResult&)> done) override;
    void ReadIpFilter(std::function<void(const IpFilterRead&)> done) override;
    void SaveIpFilter(const IpFilterState& state,
                      std::function<void(const IpFilterSaveResult&)> done) override;

private:
    using Step = std::function<void(std::function<void()> finished)>;
    void Enqueue(Step step);
    void RunNext();
    // `done` runs only while this access lives.
    void Send(const QString& method, const QString& path, const QByteArray& body,
              const QString& ifMatch, std::function<void(const AdminReply&)> done);
    void Put(const OptionValues& values, const std::vector<OptionMember>& members, bool retried,
             std::function<void(const OptionsSaveResult&)> done);
    void RetryUnlessTheKeysChanged(const OptionValues& values,
                                   const std::vector<OptionMember>& members,
                                   std::function<void(const OptionsSaveResult&)> done);
    void TakeOptions(const AdminReply& reply);

    CAdminConnection& m_connection;
    const std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    std::deque<Step> m_steps;
    bool m_busy = false;
    QString m_etag;       // of option.ini as last read or written
    OptionValues m_base;  // the values of that reading
};
