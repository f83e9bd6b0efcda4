#include "platform/cd/HttpGet.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <memory>

namespace varnelo::cd {

QNetworkProxy proxyFromText(const QString &text) {
    QString t = text.trimmed();
    if (t.isEmpty())
        return QNetworkProxy(QNetworkProxy::NoProxy);
    if (!t.contains(QStringLiteral("://")))
        t.prepend(QStringLiteral("http://"));
    const QUrl url(t);
    if (!url.isValid() || url.host().isEmpty())
        return QNetworkProxy(QNetworkProxy::NoProxy);
    return QNetworkProxy(QNetworkProxy::HttpProxy, url.host(), quint16(url.port(8080)));
}

QNetworkReply *httpGet(QNetworkAccessManager &manager, const QUrl &url, const HttpOptions &options,
                       QObject *context, std::function<void(const HttpAnswer &)> done) {
    QNetworkRequest request(url);
    request.setTransferTimeout(options.timeoutMs > 0 ? options.timeoutMs : 10000);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    if (!options.userAgent.isEmpty())
        request.setHeader(QNetworkRequest::UserAgentHeader, options.userAgent);
    manager.setProxy(proxyFromText(options.proxy));
    QNetworkReply *reply = manager.get(request);
    auto body = std::make_shared<QByteArray>();
    auto tooLarge = std::make_shared<bool>(false);
    auto tooSlow = std::make_shared<bool>(false);
    // The transfer time-out only notices silence; an answer that trickles on
    // for ever is ended by this deadline.
    auto *deadline = new QTimer(reply);
    deadline->setSingleShot(true);
    QObject::connect(deadline, &QTimer::timeout, reply, [reply, tooSlow] {
        *tooSlow = true;
        reply->abort();
    });
    deadline->start(std::max(2 * options.timeoutMs, 20000));
    const qint64 limit = options.maxBytes;
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [reply, body, tooLarge, limit] {
        if (*tooLarge)
            return;
        body->append(reply->read(limit + 1 - body->size()));
        if (body->size() > limit) {
            *tooLarge = true;
            reply->abort();
        }
    });
    QObject::connect(
        reply, &QNetworkReply::finished, context ? context : reply,
        [reply, body, tooLarge, tooSlow, limit, done = std::move(done)] {
            reply->deleteLater();
            HttpAnswer a;
            a.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            if (*tooSlow) {
                a.error = QCoreApplication::translate("HttpGet", "The server's answer does not end.");
            } else if (*tooLarge) {
                a.error = QCoreApplication::translate("HttpGet", "The server's answer is larger than %1 KiB.")
                              .arg(limit / 1024);
            } else {
                if (reply->isReadable())
                    body->append(reply->read(limit + 1 - body->size()));
                const QNetworkReply::NetworkError e = reply->error();
                // An HTTP error status is an answer too (404: not in the database).
                if (e != QNetworkReply::NoError && a.status == 0)
                    a.error = reply->errorString();
                a.body = *body;
            }
            done(a);
        });
    return reply;
}

} // namespace varnelo::cd
