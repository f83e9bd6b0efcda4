#pragma once
#include <QByteArray>
#include <QNetworkProxy>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <functional>

class QNetworkAccessManager;
class QNetworkReply;
class QObject;

namespace varnelo::cd {

struct HttpOptions {
    int timeoutMs = 10000;
    qint64 maxBytes = 1 << 20; // a larger answer is refused, not read to its end
    QByteArray userAgent;
    QString proxy; // "host:port", empty for none
};

struct HttpAnswer {
    int status = 0; // HTTP status; 0 when no answer came
    QByteArray body;
    QString error; // why no usable answer came; empty when one did (whatever its status)
};

// One GET through `manager`; `done` is called once, on the manager's thread,
// unless `context` is gone by then. The reply is returned so it can be aborted.
QNetworkReply *httpGet(QNetworkAccessManager &manager, const QUrl &url, const HttpOptions &options,
                       QObject *context, std::function<void(const HttpAnswer &)> done);

// "host:port" (or "http://host:port") as an HTTP proxy; NoProxy for an empty text.
QNetworkProxy proxyFromText(const QString &text);

} // namespace varnelo::cd
