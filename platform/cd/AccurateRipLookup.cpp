#include "platform/cd/AccurateRipLookup.h"

#include "platform/cd/HttpGet.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

namespace varnelo::cd {

namespace {
// A disc has at most 99 tracks of 9 bytes in each of its pressings.
constexpr qint64 DatabaseFileLimit = 1 << 20;
} // namespace

AccurateRipLookup::AccurateRipLookup(QObject *parent) : QObject(parent) {}

AccurateRipLookup::~AccurateRipLookup() {
    Cancel();
}

void AccurateRipLookup::Cancel() {
    ++generation_;
    if (reply_)
        reply_->abort();
    reply_ = nullptr;
}

void AccurateRipLookup::complete(const QString &error) {
    error_ = error;
    done_ = true;
    reply_ = nullptr;
    Q_EMIT finished();
}

void AccurateRipLookup::Fetch(const DiscToc &toc) {
    Cancel();
    done_ = false;
    pressings_.clear();
    error_.clear();
    const quint64 generation = generation_;
    if (!server.isValid() || server.isEmpty()) {
        QTimer::singleShot(0, this, [this, generation] {
            if (generation == generation_)
                complete(QCoreApplication::translate("AccurateRip", "AccurateRip is not asked."));
        });
        return;
    }
    QString base = server.toString();
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    url_ = QUrl(base + accurateRipPath(accurateRipIds(toc)));
    if (!network_)
        network_ = std::make_unique<QNetworkAccessManager>();
    HttpOptions options;
    options.timeoutMs = timeoutMs;
    options.maxBytes = DatabaseFileLimit;
    options.proxy = proxy;
    options.userAgent = QByteArrayLiteral("Varnelo/1.00");
    reply_ = httpGet(*network_, url_, options, this, [this, generation](const HttpAnswer &a) {
        if (generation != generation_)
            return;
        if (!a.error.isEmpty())
            return complete(a.error);
        if (a.status == 404)
            return complete({}); // not in the database
        if (a.status != 200)
            return complete(
                QCoreApplication::translate("AccurateRip", "The server answered HTTP %1.").arg(a.status));
        if (auto parsed = parseAccurateRipDatabase(a.body)) {
            pressings_ = std::move(*parsed);
            return complete({});
        }
        complete(QCoreApplication::translate("AccurateRip", "The database file is damaged."));
    });
}

} // namespace varnelo::cd
