#pragma once
#include "radio/DirectoryAnswer.h"

#include <QNetworkAccessManager>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

class QNetworkReply;

namespace varnelo {

class MirrorLookup;

// What a station search asks the directory for.
struct DirectoryQuery {
    QString name;
    QString tag;
    QString countryCode;
    QString language;
    int limit = 50;
    int offset = 0;
};

// The community station directory's JSON interface. The servers are the
// mirrors listed under one DNS name: one is chosen at random and, when it
// fails (no connection, a time-out, an HTTP error or an unusable answer), the
// next is tried; the one that answered is kept for the next requests. A server
// of one's own replaces the lookup. Each request answers exactly once, through
// its callback on this object's thread, unless it was cancelled first.
class DirectoryClient : public QObject {
    Q_OBJECT
public:
    static QString userAgent() { return QStringLiteral("Varnelo/1.00"); }
    static QString mirrorsName() { return QStringLiteral("all.api.radio-browser.info"); }
    static constexpr int DefaultTimeoutMs = 15000;

    explicit DirectoryClient(MirrorLookup &lookup, QObject *parent = nullptr);
    ~DirectoryClient() override;

    // Uses this server alone (an empty address: the mirrors again). False
    // (nothing changed) when it is not an http or https address.
    bool setServer(const QString &address);
    // Per attempt on one server, connection included.
    void setTimeout(int ms) { timeoutMs_ = ms; }
    // Picks the first mirror to try among `count` (random by default).
    void setPick(std::function<int(int count)> pick) { pick_ = std::move(pick); }

    void searchStations(const DirectoryQuery &query, std::function<void(const DirectoryStations &)> done);
    void fetchTags(int limit, std::function<void(const DirectoryValues &)> done);
    void fetchCountries(std::function<void(const DirectoryValues &)> done);
    // Counts a play of the station, as the directory asks of its clients.
    void countClick(const QString &uuid, std::function<void(const QString &error)> done = {});

    // The server in use ("" before the first lookup).
    QString server() const;
    // Ends every request in flight without calling its callback.
    void cancel();

private:
    struct Request;
    void start(const std::shared_ptr<Request> &request);
    void attempt(const std::shared_ptr<Request> &request);
    void finished(const std::shared_ptr<Request> &request, QNetworkReply *reply, int mirror);
    void failAll(const QString &error);
    void fetchValues(const QString &path, const QByteArray &query,
                     DirectoryValues (*parse)(const QByteArray &),
                     std::function<void(const DirectoryValues &)> done);

    MirrorLookup &lookup_;
    QNetworkAccessManager network_;
    QStringList mirrors_; // in the order they are tried, starting at current_
    int current_ = 0;
    bool fixedServer_ = false;
    bool lookingUp_ = false;
    std::vector<std::shared_ptr<Request>> active_;
    std::vector<std::shared_ptr<Request>> waiting_; // for the lookup
    int timeoutMs_ = DefaultTimeoutMs;
    std::function<int(int)> pick_;
};

} // namespace varnelo
