#pragma once
#include "platform/cd/AccurateRip.h"
#include "platform/cd/DiscToc.h"

#include <QObject>
#include <QPointer>
#include <QUrl>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;

namespace varnelo::cd {

// Fetches the AccurateRip database file of a disc. Works on the thread it lives on.
class AccurateRipLookup : public QObject {
    Q_OBJECT
public:
    static QUrl defaultServer() { return QUrl(QStringLiteral("http://www.accuraterip.com/accuraterip/")); }

    explicit AccurateRipLookup(QObject *parent = nullptr);
    ~AccurateRipLookup() override;

    QUrl server = defaultServer(); // empty: no lookup (finished at once with an error)
    int timeoutMs = 10000;
    QString proxy;

    void Fetch(const DiscToc &toc);
    void Cancel();
    bool done() const { return done_; }
    // Found in the database: the pressings; not in it: an empty list; the
    // lookup failed: the list is empty and error() says why.
    const std::vector<AccurateRipPressing> &pressings() const { return pressings_; }
    QString error() const { return error_; }
    QUrl url() const { return url_; }

Q_SIGNALS:
    void finished();

private:
    void complete(const QString &error);
    std::unique_ptr<QNetworkAccessManager> network_;
    QPointer<QNetworkReply> reply_;
    std::vector<AccurateRipPressing> pressings_;
    QString error_;
    QUrl url_;
    bool done_ = false;
    quint64 generation_ = 0;
};

} // namespace varnelo::cd
