#include "platform/shell/DnsMirrorLookup.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QTimer>

namespace varnelo {
namespace {

// One lookup: the forward query, then a reverse query per address. A child of
// the caller's context, so it ends with it.
class MirrorJob : public QObject {
public:
    MirrorJob(QObject *context, std::function<void(QStringList)> done, int timeoutMs)
        : QObject(context), done_(std::move(done)) {
        QTimer::singleShot(timeoutMs, this, [this] { finish(); });
    }

    void start(const QString &name) {
        QHostInfo::lookupHost(name, this, [this](const QHostInfo &info) { resolved(info); });
    }

private:
    void resolved(const QHostInfo &info) {
        const QList<QHostAddress> addresses = info.addresses();
        pending_ = int(addresses.size());
        if (pending_ == 0)
            return finish();
        for (const QHostAddress &address : addresses)
            QHostInfo::lookupHost(address.toString(), this, [this, address](const QHostInfo &reverse) {
                const QString host = reverse.hostName();
                if (reverse.error() == QHostInfo::NoError && !host.isEmpty() && host != address.toString() &&
                    !servers_.contains(QStringLiteral("https://") + host))
                    servers_.append(QStringLiteral("https://") + host);
                if (--pending_ == 0)
                    finish();
            });
    }

    void finish() {
        if (finished_)
            return;
        finished_ = true;
        const auto done = std::move(done_);
        const QStringList servers = servers_;
        deleteLater();
        done(servers);
    }

    std::function<void(QStringList)> done_;
    QStringList servers_;
    int pending_ = 0;
    bool finished_ = false;
};

} // namespace

void DnsMirrorLookup::lookup(const QString &name, QObject *context, std::function<void(QStringList)> done) {
    auto *job = new MirrorJob(context, std::move(done), timeoutMs_);
    job->start(name);
}

} // namespace varnelo
