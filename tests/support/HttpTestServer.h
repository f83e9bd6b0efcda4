#pragma once
// A small HTTP server on 127.0.0.1 (ephemeral port, a thread of its own) for
// the CDDB, MusicBrainz and AccurateRip tests: every request goes to a handler.
#include <QByteArray>
#include <QList>
#include <QString>
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace varnelo::test {

struct HttpReply {
    int status = 200;
    QByteArray body;
    QByteArray contentType = "text/plain; charset=utf-8";
    bool withLength = true; // false: the body ends when the connection closes
    bool endless = false;   // the body never ends (until the client goes)
};

struct HttpRequest {
    QByteArray path;  // without the query
    QByteArray query; // undecoded
    QByteArray userAgent;
    qint64 atMs = 0; // since the server started
};

class HttpTestServer {
public:
    using Handler = std::function<HttpReply(const HttpRequest &)>;
    explicit HttpTestServer(Handler handler);
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer &) = delete;
    HttpTestServer &operator=(const HttpTestServer &) = delete;

    bool start();
    quint16 port() const { return port_; }
    QString url(const QString &path = {}) const;
    std::vector<HttpRequest> requests() const;

    // A port on 127.0.0.1 nothing listens on (a dead server).
    static quint16 deadPort();

private:
    void run();
    void serve(int fd);

    Handler handler_;
    int listenFd_ = -1;
    quint16 port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::vector<std::thread> connections_;
    mutable std::mutex mutex_;
    std::vector<HttpRequest> requests_;
    qint64 startMs_ = 0;
};

} // namespace varnelo::test
