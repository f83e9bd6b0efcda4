#include "support/HttpTestServer.h"

#include <QDateTime>
#include <QUrl>

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
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

} // namespace

HttpTestServer::HttpTestServer(Handler handler) : handler_(std::move(handler)) {}

HttpTestServer::~HttpTestServer() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    for (std::thread &t : connections_)
        t.join();
    if (listenFd_ >= 0)
        ::close(listenFd_);
}

bool HttpTestServer::start() {
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

QString HttpTestServer::url(const QString &path) const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port_).arg(path);
}

std::vector<HttpRequest> HttpTestServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

quint16 HttpTestServer::deadPort() {
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

void HttpTestServer::run() {
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

void HttpTestServer::serve(int fd) {
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
    const QList<QByteArray> lines = head.split('\n');
    const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
    const QByteArray target = first.value(1);
    HttpRequest request;
    const qsizetype q = target.indexOf('?');
    request.path = q < 0 ? target : target.left(q);
    request.query = q < 0 ? QByteArray() : target.mid(q + 1);
    for (const QByteArray &line : lines)
        if (line.toLower().startsWith("user-agent:"))
            request.userAgent = line.mid(11).trimmed();
    request.atMs = nowMs() - startMs_;
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
    }
    const HttpReply reply = handler_(request);
    QByteArray header = "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reason(reply.status) +
                        "\r\nContent-Type: " + reply.contentType + "\r\nConnection: close\r\n";
    if (reply.withLength && !reply.endless)
        header += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
    header += "\r\n";
    if (!sendAll(fd, header))
        return;
    if (!reply.endless) {
        sendAll(fd, reply.body);
        return;
    }
    const qint64 until = nowMs() + 60000;
    QByteArray chunk = reply.body.isEmpty() ? QByteArray(4096, 'x') : reply.body;
    while (!stop_ && nowMs() < until && sendAll(fd, chunk)) {
    }
}

} // namespace varnelo::test
