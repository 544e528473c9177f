#include "ui/ApiSettingsAccess.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "api/OptionNames.h"
#include "config/IpFilter.h"
#include "ui/AdminConnection.h"

namespace {

const char* const kOptionsPath = "/api/v1/options";

QString Failure(const AdminReply& reply) {
    if (!reply.error.isEmpty()) return reply.error;
    return QString("the server answered %1").arg(reply.status);
}

OptionValues ValuesOf(const QJsonObject& options) {
    OptionValues values;
    for (const OptionRow& row : OptionRows()) {
        const QJsonValue value = options.value(QString::fromStdString(OptionJsonName(row)));
        if (value.isUndefined()) continue;  // a secret, or an older server
        if (const auto* number = std::get_if<IntOption>(&row.member))
            values.*(*number) = value.toInt();
        else
            values.*std::get<TextOption>(row.member) = value.toString().toStdString();
    }
    return values;
}

std::vector<OptionMember> MembersNamed(const QJsonValue& names) {
    std::vector<OptionMember> members;
    for (const QJsonValue& name : names.toArray())
        if (const OptionRow* row = OptionRowNamed(name.toString().toStdString()))
            members.push_back(row->member);
    return members;
}

QByteArray OptionsBody(const OptionValues& values, const std::vector<OptionMember>& members) {
    QJsonObject body;
    for (const OptionMember& member : members) {
        const OptionRow* row = OptionRowOf(member);
        if (row == nullptr) continue;
        const QString name = QString::fromStdString(OptionJsonName(*row));
        if (const auto* number = std::get_if<IntOption>(&member))
            body.insert(name, values.*(*number));
        else
            body.insert(name, QString::fromStdString(values.*std::get<TextOption>(member)));
    }
    return QJsonDocument(body).toJson(QJsonDocument::Compact);
}

QJsonArray EntriesOf(const std::string& listText) {
    QJsonArray entries;
    for (const std::string& entry : CIpFilter::SplitEntries(listText))
        entries.append(QString::fromStdString(entry));
    return entries;
}

std::string ListTextOf(const QJsonValue& entries) {
    std::vector<std::string> list;
    for (const QJsonValue& entry : entries.toArray())
        list.push_back(entry.toString().toStdString());
    return CIpFilter::JoinEntries(list);
}

}  // namespace

std::unique_ptr<CSettingsAccess> MakeApiSettingsAccess(CAdminConnection& connection) {
    return std::make_unique<CApiSettingsAccess>(connection);
}

void CApiSettingsAccess::Enqueue(Step step) {
    m_steps.push_back(std::move(step));
    if (!m_busy) RunNext();
}

void CApiSettingsAccess::RunNext() {
    if (m_steps.empty()) {
        m_busy = false;
        return;
    }
    m_busy = true;
    Step step = std::move(m_steps.front());
    m_steps.pop_front();
    step([this] { RunNext(); });
}

void CApiSettingsAccess::Send(const QString& method, const QString& path, const QByteArray& body,
                              const QString& ifMatch, std::function<void(const AdminReply&)> done) {
    std::weak_ptr<bool> alive = m_alive;
    m_connection.Request(method, path, body, ifMatch,
                         [alive, done = std::move(done)](const AdminReply& reply) {
                             if (!alive.expired()) done(reply);
                         });
}

void CApiSettingsAccess::TakeOptions(const AdminReply& reply) {
    m_base = ValuesOf(reply.json.object().value("options").toObject());
    m_etag = reply.etag;
}

void CApiSettingsAccess::ReadOptions(std::function<void(const OptionsRead&)> done) {
    Enqueue([this, done = std::move(done)](std::function<void()> finished) {
        Send("GET", kOptionsPath, {}, {}, [this, done, finished](const AdminReply& reply) {
            OptionsRead read;
            read.ok = reply.status == 200;
            if (read.ok) {
                TakeOptions(reply);
                read.values = m_base;
            } else {
                read.error = Failure(reply);
            }
            finished();
            done(read);
        });
    });
}

void CApiSettingsAccess::SaveOptions(const OptionValues& values, std::vector<OptionMember> members,
                                     std::function<void(const OptionsSaveResult&)> done) {
    Enqueue([this, values, members = std::move(members),
             done = std::move(done)](std::function<void()> finished) {
        Put(values, members, false, [done, finished](const OptionsSaveResult& result) {
            finished();
            done(result);
        });
    });
}

void CApiSettingsAccess::Put(const OptionValues& values, const std::vector<OptionMember>& members,
                             bool retried, std::function<void(const OptionsSaveResult&)> done) {
    Send("PUT", kOptionsPath, OptionsBody(values, members), m_etag,
         [this, values, members, retried, done](const AdminReply& reply) {
             if (reply.status == 412 && !retried) {
                 RetryUnlessTheKeysChanged(values, members, done);
                 return;
             }
             OptionsSaveResult result;
             result.ok = reply.status == 200;
             if (!result.ok) {
                 result.stale = reply.status == 412;
                 result.error = result.stale ? QString(kChangedBySomeoneElse) : Failure(reply);
                 done(result);
                 return;
             }
             TakeOptions(reply);
             const QJsonObject answer = reply.json.object();
             result.applied = MembersNamed(answer.value("applied"));
             result.nextStart = MembersNamed(answer.value("restartNeeded"));
             done(result);
         });
}

// option.ini changed since it was read. A change of other keys (the IP filter dialog's
// mode, another administrator's limits) does not make this edit stale; a change of one
// of the keys being written does, and is never overwritten.
void CApiSettingsAccess::RetryUnlessTheKeysChanged(
    const OptionValues& values, const std::vector<OptionMember>& members,
    std::function<void(const OptionsSaveResult&)> done) {
    Send("GET", kOptionsPath, {}, {}, [this, values, members, done](const AdminReply& reply) {
        OptionsSaveResult stale;
        stale.stale = true;
        stale.error = kChangedBySomeoneElse;
        if (reply.status != 200) {
            stale.stale = false;
            stale.error = Failure(reply);
            done(stale);
            return;
        }
        const OptionValues now = ValuesOf(reply.json.object().value("options").toObject());
        for (const OptionMember& member : members)
            if (!SameOptionValue(now, m_base, member)) {
                done(stale);
                return;
            }
        m_etag = reply.etag;
        Put(values, members, true, done);
    });
}

void CApiSettingsAccess::ReadIpFilter(std::function<void(const IpFilterRead&)> done) {
    Enqueue([this, done = std::move(done)](std::function<void()> finished) {
        Send("GET", "/api/v1/iplists/allow", {}, {},
             [this, done, finished](const AdminReply& allow) {
                 if (allow.status != 200) {
                     finished();
                     done({false, Failure(allow), {}});
                     return;
                 }
                 Send("GET", "/api/v1/iplists/deny", {}, {},
                      [allow, done, finished](const AdminReply& deny) {
                          IpFilterRead read;
                          read.ok = deny.status == 200;
                          if (read.ok) {
                              read.state.mode = allow.json.object().value("mode").toInt();
                              read.state.allowText =
                                  ListTextOf(allow.json.object().value("entries"));
                              read.state.denyText = ListTextOf(deny.json.object().value("entries"));
                          } else {
                              read.error = Failure(deny);
                          }
                          finished();
                          done(read);
                      });
             });
    });
}

void CApiSettingsAccess::SaveIpFilter(const IpFilterState& state,
                                      std::function<void(const IpFilterSaveResult&)> done) {
    QJsonObject body{{"mode", state.mode},
                     {"allow", EntriesOf(state.allowText)},
                     {"deny", EntriesOf(state.denyText)}};
    const QByteArray bytes = QJsonDocument(body).toJson(QJsonDocument::Compact);
    Enqueue([this, bytes, done = std::move(done)](std::function<void()> finished) {
        Send("PUT", "/api/v1/iplists", bytes, {}, [done, finished](const AdminReply& reply) {
            IpFilterSaveResult result;
            result.inForce = reply.status == 200;
            result.error =
                result.inForce ? reply.json.object().value("notSaved").toString() : Failure(reply);
            finished();
            done(result);
        });
    });
}
