#include "support/HttpServer.h"

#include <QDateTime>
#include <QUrl>
#include <algorithm>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace varnelo::test {

namespace {

qint64 nowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

bool sendAll(int fd, const QByteArray &bytes) {
    qsizetype at = 0;
    while (at < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.constData() + at, size_t(bytes.size() - at), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        at += n;
    }
    return true;
}

const char *reason(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

QString formDecoded(QByteArray part) {
    part.replace('+', ' ');
    return QString::fromUtf8(QByteArray::fromPercentEncoding(part));
}

} // namespace

QByteArray HttpRequest::header(const QByteArray &name) const {
    for (const QByteArray &line : headerLines) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == name.toLower())
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

HttpServer::HttpServer(Handler handler) : handler_(std::move(handler)) {}

HttpServer::~HttpServer() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    for (std::thread &t : connections_)
        t.join();
    if (listenFd_ >= 0)
        ::close(listenFd_);
}

bool HttpServer::start() {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (listenFd_ < 0)
        return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (::bind(listenFd_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
        ::listen(listenFd_, 16) != 0)
        return false;
    socklen_t len = sizeof addr;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr *>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    startMs_ = nowMs();
    thread_ = std::thread([this] { run(); });
    return true;
}

QString HttpServer::url(const QString &path) const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port_).arg(path);
}

QList<HttpRequest> HttpServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

int HttpServer::count(const QString &path) const {
    std::lock_guard lock(mutex_);
    return int(std::count_if(requests_.begin(), requests_.end(),
                             [&](const HttpRequest &r) { return r.path == path; }));
}

quint16 HttpServer::closedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len);
    ::close(fd); // bound but never listening, then closed: connections are refused
    return ntohs(addr.sin_port);
}

void HttpServer::run() {
    while (!stop_) {
        pollfd p{listenFd_, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        const int fd = ::accept(listenFd_, nullptr, nullptr);
        if (fd < 0)
            continue;
        connections_.emplace_back([this, fd] {
            serve(fd);
            ::close(fd);
        });
    }
}

void HttpServer::serve(int fd) {
    QByteArray head;
    char buffer[4096];
    while (!head.contains("\r\n\r\n") && head.size() < 65536 && !stop_) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return;
        head.append(buffer, n);
    }
    QList<QByteArray> lines = head.left(head.indexOf("\r\n\r\n")).split('\n');
    for (QByteArray &line : lines)
        line = line.trimmed();
    const QList<QByteArray> first = lines.value(0).split(' ');
    const QByteArray target = first.value(1);
    HttpRequest request;
    request.method = first.value(0);
    const qsizetype mark = target.indexOf('?');
    request.path = QString::fromUtf8(mark < 0 ? target : target.left(mark));
    if (mark >= 0) {
        request.rawQuery = target.mid(mark + 1);
        for (const QByteArray &pair : request.rawQuery.split('&')) {
            const qsizetype eq = pair.indexOf('=');
            request.query.insert(formDecoded(eq < 0 ? pair : pair.left(eq)),
                                 eq < 0 ? QString() : formDecoded(pair.mid(eq + 1)));
        }
    }
    request.headerLines = lines.mid(1);
    request.atMs = nowMs() - startMs_;
    {
        std::lock_guard lock(mutex_);
        requests_.append(request);
    }
    const HttpReply reply = handler_(request);
    if (reply.kind == HttpReply::Kind::Stall) {
        // Holds the connection open without a byte until the server ends.
        while (!stop_) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0 && ::recv(fd, buffer, sizeof buffer, 0) <= 0)
                return;
        }
        return;
    }
    const bool endless = reply.kind == HttpReply::Kind::Endless;
    QByteArray header = "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reason(reply.status) +
                        "\r\nContent-Type: " + reply.contentType + "\r\nConnection: close\r\n";
    if (reply.withLength && !endless)
        header += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
    header += "\r\n";
    if (!sendAll(fd, header) || !sendAll(fd, reply.body) || !endless)
        return;
    const qint64 until = nowMs() + 60000;
    const QByteArray filler(4096, ' ');
    while (!stop_ && nowMs() < until && sendAll(fd, filler)) {
    }
}

} // namespace varnelo::test
