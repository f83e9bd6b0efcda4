#include "radio/DirectoryClient.h"

#include "common/Seams.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRandomGenerator>
#include <QTimer>
#include <QUrl>
#include <algorithm>

namespace varnelo {

struct DirectoryClient::Request {
    QString path;
    QByteArray query;
    // Reads an answer; gives the reason when it cannot be used.
    std::function<QString(const QByteArray &)> accept;
    std::function<void()> deliver;
    std::function<void(const QString &)> fail;
    int tried = 0; // servers tried so far
    QString lastServer;
    QString lastError;
    QNetworkReply *reply = nullptr;
    QByteArray body;
    QString problem; // found while the answer arrived (too large, time-out)
};

namespace {

QByteArray queryOf(std::initializer_list<std::pair<const char *, QString>> items) {
    QByteArray q;
    for (const auto &[key, value] : items) {
        if (value.isEmpty())
            continue;
        if (!q.isEmpty())
            q += '&';
        // Encoded in full: a '+' left alone reads as a blank on the server.
        q += QByteArray(key) + '=' + QUrl::toPercentEncoding(value);
    }
    return q;
}

} // namespace

DirectoryClient::DirectoryClient(MirrorLookup &lookup, QObject *parent)
    : QObject(parent), lookup_(lookup),
      pick_([](int count) { return int(QRandomGenerator::global()->bounded(count)); }) {}

DirectoryClient::~DirectoryClient() {
    cancel();
}

bool DirectoryClient::setServer(const QString &address) {
    if (address.isEmpty()) {
        if (fixedServer_)
            mirrors_.clear();
        fixedServer_ = false;
        current_ = 0;
        return true;
    }
    if (!directory::isStreamAddress(address))
        return false;
    mirrors_ = {address};
    current_ = 0;
    fixedServer_ = true;
    return true;
}

QString DirectoryClient::server() const {
    return mirrors_.value(current_);
}

void DirectoryClient::cancel() {
    waiting_.clear();
    const auto active = std::move(active_);
    active_.clear();
    for (const auto &request : active)
        if (QNetworkReply *reply = request->reply) {
            request->reply = nullptr;
            reply->disconnect(this);
            reply->abort();
            reply->deleteLater();
        }
}

void DirectoryClient::start(const std::shared_ptr<Request> &request) {
    active_.push_back(request);
    if (!mirrors_.isEmpty())
        return attempt(request);
    waiting_.push_back(request);
    if (lookingUp_)
        return;
    lookingUp_ = true;
    lookup_.lookup(mirrorsName(), this, [this](const QStringList &servers) {
        lookingUp_ = false;
        if (!fixedServer_) {
            mirrors_ = servers;
            current_ =
                mirrors_.isEmpty() ? 0 : std::clamp(pick_(int(mirrors_.size())), 0, int(mirrors_.size()) - 1);
        }
        const auto waiting = std::move(waiting_);
        waiting_.clear();
        if (mirrors_.isEmpty())
            return failAll(
                QStringLiteral("No station directory server was found: the name %1 gave none (is the "
                               "network down?). A server of your own can be set in temp.ini, section "
                               "\"directory\", key \"server\".")
                    .arg(mirrorsName()));
        for (const auto &request : waiting)
            attempt(request);
    });
}

void DirectoryClient::failAll(const QString &error) {
    const auto active = std::move(active_);
    active_.clear();
    for (const auto &request : active)
        request->fail(error);
}

void DirectoryClient::attempt(const std::shared_ptr<Request> &request) {
    const int count = int(mirrors_.size());
    if (request->tried >= count) {
        std::erase(active_, request);
        request->fail(count == 1 ? QStringLiteral("The station directory at %1 could not be used: %2.")
                                       .arg(request->lastServer, request->lastError)
                                 : QStringLiteral("None of the %1 station directory servers could be used; "
                                                  "the last one, %2: %3.")
                                       .arg(count)
                                       .arg(request->lastServer, request->lastError));
        return;
    }
    const int mirror = (current_ + request->tried) % count;
    QUrl url(mirrors_.at(mirror));
    QString path = url.path();
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    url.setPath(path + request->path);
    url.setQuery(QString::fromLatin1(request->query), QUrl::StrictMode);
    QNetworkRequest get(url);
    get.setHeader(QNetworkRequest::UserAgentHeader, userAgent());
    get.setRawHeader("Accept", "application/json");
    request->body.clear();
    request->problem.clear();
    QNetworkReply *reply = network_.get(get);
    request->reply = reply;
    const auto stop = [reply, request](const QString &problem) {
        if (request->problem.isEmpty())
            request->problem = problem;
        reply->abort();
    };
    connect(reply, &QNetworkReply::metaDataChanged, this, [reply, stop] {
        if (reply->header(QNetworkRequest::ContentLengthHeader).toLongLong() > MaxDirectoryAnswerBytes)
            stop(directory::tooLargeText());
    });
    // Read as it comes, so an endless answer is stopped at the bound.
    connect(reply, &QNetworkReply::readyRead, this, [reply, request, stop] {
        request->body += reply->readAll();
        if (request->body.size() > MaxDirectoryAnswerBytes)
            stop(directory::tooLargeText());
    });
    auto *timer = new QTimer(reply);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, this,
            [this, stop] { stop(QStringLiteral("no answer within %1 seconds").arg(timeoutMs_ / 1000.0)); });
    timer->start(timeoutMs_);
    connect(reply, &QNetworkReply::finished, this,
            [this, request, reply, mirror] { finished(request, reply, mirror); });
}

void DirectoryClient::finished(const std::shared_ptr<Request> &request, QNetworkReply *reply, int mirror) {
    reply->deleteLater();
    if (QTimer *timer = reply->findChild<QTimer *>())
        timer->stop(); // it must not stop the next attempt
    if (request->reply != reply)
        return; // cancelled
    request->reply = nullptr;
    QString error = request->problem;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (error.isEmpty() && status.isValid() && (status.toInt() < 200 || status.toInt() >= 300))
        error = QStringLiteral("it answered HTTP %1 %2")
                    .arg(status.toInt())
                    .arg(reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString())
                    .trimmed();
    if (error.isEmpty() && reply->error() != QNetworkReply::NoError)
        error = reply->errorString();
    if (error.isEmpty()) {
        request->body += reply->readAll();
        error = request->body.size() > MaxDirectoryAnswerBytes ? directory::tooLargeText()
                                                               : request->accept(request->body);
    }
    request->body.clear();
    if (error.isEmpty()) {
        current_ = mirror; // the next requests start here
        std::erase(active_, request);
        request->deliver();
        return;
    }
    request->lastServer = mirrors_.at(mirror);
    request->lastError = error;
    ++request->tried;
    attempt(request);
}

void DirectoryClient::searchStations(const DirectoryQuery &query,
                                     std::function<void(const DirectoryStations &)> done) {
    auto request = std::make_shared<Request>();
    request->path = QStringLiteral("/json/stations/search");
    request->query = queryOf({{"name", query.name},
                              {"tag", query.tag},
                              {"countrycode", query.countryCode},
                              {"language", query.language},
                              {"order", QStringLiteral("clickcount")},
                              {"reverse", QStringLiteral("true")},
                              {"limit", QString::number(query.limit)},
                              {"offset", QString::number(query.offset)},
                              {"hidebroken", QStringLiteral("true")}});
    auto result = std::make_shared<DirectoryStations>();
    request->accept = [result](const QByteArray &body) {
        *result = ParseDirectoryStations(body);
        return result->error;
    };
    request->deliver = [result, done] { done(*result); };
    request->fail = [done](const QString &error) {
        DirectoryStations failed;
        failed.error = error;
        done(failed);
    };
    start(request);
}

void DirectoryClient::fetchValues(const QString &path, const QByteArray &query,
                                  DirectoryValues (*parse)(const QByteArray &),
                                  std::function<void(const DirectoryValues &)> done) {
    auto request = std::make_shared<Request>();
    request->path = path;
    request->query = query;
    auto result = std::make_shared<DirectoryValues>();
    request->accept = [result, parse](const QByteArray &body) {
        *result = parse(body);
        return result->error;
    };
    request->deliver = [result, done] { done(*result); };
    request->fail = [done](const QString &error) { done(DirectoryValues{error, {}, 0}); };
    start(request);
}

void DirectoryClient::fetchTags(int limit, std::function<void(const DirectoryValues &)> done) {
    fetchValues(QStringLiteral("/json/tags"),
                queryOf({{"order", QStringLiteral("stationcount")},
                         {"reverse", QStringLiteral("true")},
                         {"limit", QString::number(limit)},
                         {"hidebroken", QStringLiteral("true")}}),
                &ParseDirectoryTags, std::move(done));
}

void DirectoryClient::fetchCountries(std::function<void(const DirectoryValues &)> done) {
    fetchValues(QStringLiteral("/json/countries"),
                queryOf({{"order", QStringLiteral("name")}, {"hidebroken", QStringLiteral("true")}}),
                &ParseDirectoryCountries, std::move(done));
}

void DirectoryClient::countClick(const QString &uuid, std::function<void(const QString &)> done) {
    auto request = std::make_shared<Request>();
    request->path = QStringLiteral("/json/url/") + QString::fromLatin1(QUrl::toPercentEncoding(uuid));
    request->accept = [](const QByteArray &) { return QString(); };
    request->deliver = [done] {
        if (done)
            done(QString());
    };
    request->fail = [done](const QString &error) {
        if (done)
            done(error);
    };
    start(request);
}

} // namespace varnelo
