#pragma once
#include <QString>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace varnelo::test {

// A port on 127.0.0.1 that takes connections and never says a word: the
// system completes each connection for the listening socket, which nobody
// accepts or reads.
class SilentListener {
public:
    SilentListener() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
            ::listen(fd_, 1024) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            return;
        port_ = ntohs(address.sin_port);
    }
    ~SilentListener() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    SilentListener(const SilentListener &) = delete;
    SilentListener &operator=(const SilentListener &) = delete;

    bool listening() const { return port_ != 0; }
    QString url(const QString &path) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(port_).arg(path);
    }

private:
    int fd_ = -1;
    quint16 port_ = 0;
};

} // namespace varnelo::test
