#include "platform/stream/IcyConnection.h"

#include "common/TextRules.h"

#include <QSslConfiguration>
#include <QSslSocket>
#include <QStringDecoder>
#include <QTcpSocket>
#include <algorithm>
#include <cstring>

namespace varnelo {
namespace {
constexpr int WaitSliceMs = 50;
// Waiting for a station's next bytes: a stop or deadline is seen within this,
// and an idle recording wakes a few times a second rather than twenty.
constexpr int DataWaitMs = 200;
constexpr qint64 ReadChunk = 64 * 1024;
// Metadata length byte × 16: at most 4080 bytes, bounded by the protocol itself.
constexpr int MetaBlockUnit = 16;
} // namespace

QString decodeStreamText(const QByteArray &bytes) {
    return text::decode8Bit(bytes);
}

IcyConnection::IcyConnection(Limits limits, AbortCheck aborted)
    : limits_(limits), aborted_(std::move(aborted)) {}

IcyConnection::~IcyConnection() {
    if (socket_)
        socket_->abort();
}

namespace {

// Says what went wrong in the words a listener knows, naming the server.
QString connectFailureText(const QAbstractSocket &socket, const QString &host, quint16 port) {
    const QString where = QStringLiteral("%1:%2").arg(host).arg(port);
    switch (socket.error()) {
    case QAbstractSocket::ConnectionRefusedError:
        return QStringLiteral("connection refused by %1").arg(where);
    case QAbstractSocket::HostNotFoundError:
        return QStringLiteral("the server name %1 could not be found").arg(host);
    case QAbstractSocket::NetworkError:
        return QStringLiteral("%1 cannot be reached: %2").arg(where, socket.errorString());
    default:
        return QStringLiteral("could not connect to %1: %2").arg(where, socket.errorString());
    }
}

} // namespace

bool IcyConnection::fail(Failure failure, const QString &text) {
    if (failure_ == Failure::None) {
        failure_ = failure;
        errorText_ = text;
    }
    return false;
}

bool IcyConnection::open(const QUrl &url) {
    QUrl current = url;
    for (int hop = 0; hop <= limits_.maxRedirects; ++hop) {
        QUrl redirect;
        if (openOnce(current, &redirect))
            return true;
        if (redirect.isEmpty())
            return false;
        current = redirect;
    }
    return fail(Failure::Http, QStringLiteral("too many redirects"));
}

void IcyConnection::reset(const QUrl &url) {
    headers_.clear();
    buffer_.clear();
    bufferPos_ = 0;
    metaint_ = 0;
    ended_ = false;
    finalUrl_ = url;
}

bool IcyConnection::openResponse(const QByteArray &response, const QUrl &url, QUrl *redirect) {
    if (socket_)
        socket_->abort();
    socket_.reset(); // fill() finds no socket: the response ends with its bytes
    reset(url);
    buffer_ = response;
    QUrl target;
    const bool ok = readResponse(url, &target);
    if (redirect)
        *redirect = target;
    return ok;
}

bool IcyConnection::openOnce(const QUrl &url, QUrl *redirect) {
    reset(url);
    const QString scheme = url.scheme().toLower();
    const bool tls = scheme == QLatin1String("https");
    if (!tls && scheme != QLatin1String("http"))
        return fail(Failure::Connect, QStringLiteral("unsupported address: %1").arg(url.toDisplayString()));
    if (url.host().isEmpty())
        return fail(Failure::Connect, QStringLiteral("no server in the address"));
    if (socket_)
        socket_->abort();
    const quint16 port = quint16(url.port(tls ? 443 : 80));
    if (tls) {
        auto ssl = std::make_unique<QSslSocket>();
        if (!caCertificates_.isEmpty()) {
            QSslConfiguration config = ssl->sslConfiguration();
            config.addCaCertificates(caCertificates_);
            ssl->setSslConfiguration(config);
        }
        ssl->connectToHostEncrypted(url.host(), port);
        socket_ = std::move(ssl);
    } else {
        socket_ = std::make_unique<QTcpSocket>();
        socket_->connectToHost(url.host(), port);
    }
    for (;;) {
        if (aborted_())
            return fail(Failure::Aborted, QStringLiteral("connection given up"));
        if (socket_->state() == QAbstractSocket::ConnectedState) {
            if (!tls)
                break;
            auto *ssl = static_cast<QSslSocket *>(socket_.get());
            if (ssl->isEncrypted())
                break;
            ssl->waitForEncrypted(WaitSliceMs);
            continue;
        }
        if (socket_->state() == QAbstractSocket::UnconnectedState) {
            if (tls) {
                const auto errors = static_cast<QSslSocket *>(socket_.get())->sslHandshakeErrors();
                if (!errors.isEmpty())
                    return fail(Failure::Connect, errors.first().errorString());
            }
            return fail(Failure::Connect, connectFailureText(*socket_, url.host(), port));
        }
        socket_->waitForConnected(WaitSliceMs);
    }

    QByteArray path = url.path(QUrl::FullyEncoded).toLatin1();
    if (path.isEmpty())
        path = "/";
    if (url.hasQuery())
        path += '?' + url.query(QUrl::FullyEncoded).toLatin1();
    QByteArray host = url.host(QUrl::FullyEncoded).toLatin1();
    if (url.port() != -1)
        host += ':' + QByteArray::number(url.port());
    const QByteArray request = "GET " + path + " HTTP/1.0\r\nHost: " + host +
                               "\r\nUser-Agent: Varnelo/1.0\r\nAccept: */*\r\n"
                               "Icy-MetaData: 1\r\nConnection: close\r\n\r\n";
    socket_->write(request);
    while (socket_->bytesToWrite() > 0) {
        if (aborted_())
            return fail(Failure::Aborted, QStringLiteral("connection given up"));
        if (socket_->state() != QAbstractSocket::ConnectedState)
            return fail(Failure::Connect, socket_->errorString());
        socket_->waitForBytesWritten(WaitSliceMs);
    }
    return readResponse(url, redirect);
}

bool IcyConnection::readResponse(const QUrl &url, QUrl *redirect) {
    // The status line comes first; readHeaders keeps it apart from the headers.
    if (!readHeaders())
        return false;

    const QByteArray status = headers_.takeFirst();
    const QList<QByteArray> parts = status.simplified().split(' ');
    bool ok = false;
    const int code = parts.size() >= 2 ? parts.at(1).toInt(&ok) : 0;
    if (!ok || (!parts.first().startsWith("HTTP/") && !parts.first().startsWith("ICY")))
        return fail(Failure::Protocol, QStringLiteral("the server's answer is not HTTP"));
    if (code == 301 || code == 302 || code == 303 || code == 307 || code == 308) {
        const auto location = header("location");
        if (!location || location->isEmpty())
            return fail(Failure::Http, QStringLiteral("redirect without a location"));
        *redirect = url.resolved(QUrl::fromEncoded(*location));
        if (socket_)
            socket_->abort();
        return false;
    }
    if (code != 200)
        return fail(Failure::Http,
                    QStringLiteral("the server answered %1").arg(decodeStreamText(parts.mid(1).join(' '))));

    if (const auto value = header("icy-metaint")) {
        bool numeric = !value->isEmpty() &&
                       std::all_of(value->begin(), value->end(), [](char c) { return c >= '0' && c <= '9'; });
        const qint64 interval = numeric ? value->toLongLong(&numeric) : 0;
        if (!numeric || interval < 1 || interval > limits_.maxMetaint)
            return fail(Failure::Protocol,
                        QStringLiteral("the server announced an unusable metadata interval (icy-metaint: %1)")
                            .arg(decodeStreamText(value->left(32))));
        metaint_ = int(interval);
    }
    untilMeta_ = metaint_;
    return true;
}

bool IcyConnection::readHeaders() {
    int total = 0;
    bool first = true;
    for (;;) {
        const qsizetype end = buffer_.indexOf('\n', bufferPos_);
        if (end < 0) {
            if (buffer_.size() - bufferPos_ > limits_.maxHeaderLine)
                return fail(Failure::Protocol, QStringLiteral("a header line of the server does not end"));
            if (!fill())
                return fail(Failure::Closed,
                            QStringLiteral("the server closed the connection before its headers ended"));
            continue;
        }
        QByteArray line = buffer_.mid(bufferPos_, end - bufferPos_);
        bufferPos_ = end + 1;
        total += int(line.size()) + 1;
        if (line.size() > limits_.maxHeaderLine)
            return fail(Failure::Protocol, QStringLiteral("a header line of the server does not end"));
        if (total > limits_.maxHeaderBytes || headers_.size() > limits_.maxHeaderLines)
            return fail(Failure::Protocol, QStringLiteral("the server's headers do not end"));
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty() && !first)
            return true;
        if (line.isEmpty())
            continue; // stray blank line before the status line
        headers_.append(line);
        first = false;
    }
}

std::optional<QByteArray> IcyConnection::header(const QByteArray &name) const {
    std::optional<QByteArray> found;
    for (const QByteArray &line : headers_) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            found = line.mid(colon + 1).trimmed();
    }
    return found;
}

QByteArray IcyConnection::contentType() const {
    const QByteArray type = header("content-type").value_or(QByteArray());
    const qsizetype semicolon = type.indexOf(';');
    return (semicolon < 0 ? type : type.left(semicolon)).trimmed().toLower();
}

bool IcyConnection::waitForData() {
    while (socket_->bytesAvailable() == 0) {
        if (aborted_())
            return fail(Failure::Aborted, QStringLiteral("connection given up"));
        if (socket_->state() != QAbstractSocket::ConnectedState) {
            ended_ = true;
            return false;
        }
        socket_->waitForReadyRead(DataWaitMs);
    }
    return true;
}

bool IcyConnection::fill() {
    if (ended_ || failure_ != Failure::None || !socket_)
        return false;
    if (!waitForData())
        return false;
    if (bufferPos_ > 0 && bufferPos_ == buffer_.size()) {
        buffer_.clear();
        bufferPos_ = 0;
    } else if (bufferPos_ > ReadChunk) {
        buffer_.remove(0, bufferPos_);
        bufferPos_ = 0;
    }
    buffer_.append(socket_->read(std::min<qint64>(socket_->bytesAvailable(), ReadChunk)));
    return true;
}

qint64 IcyConnection::takeRaw(char *data, qint64 size) {
    if (bufferPos_ == buffer_.size() && !fill())
        return failure_ == Failure::None ? 0 : -1;
    const qint64 n = std::min<qint64>(size, buffer_.size() - bufferPos_);
    std::memcpy(data, buffer_.constData() + bufferPos_, size_t(n));
    bufferPos_ += n;
    return n;
}

qint64 IcyConnection::readAudio(char *data, qint64 size) {
    if (size <= 0)
        return 0;
    if (metaint_ == 0)
        return takeRaw(data, size);
    while (untilMeta_ == 0) {
        char length = 0;
        qint64 n = takeRaw(&length, 1);
        if (n <= 0)
            return n;
        QByteArray text(int(static_cast<unsigned char>(length)) * MetaBlockUnit, '\0');
        for (qsizetype got = 0; got < text.size(); got += n) {
            n = takeRaw(text.data() + got, text.size() - got);
            if (n <= 0)
                return n;
        }
        untilMeta_ = metaint_;
        const qsizetype nul = text.indexOf('\0');
        if (nul >= 0)
            text.truncate(nul);
        if (!text.isEmpty() && onMetadata_)
            onMetadata_(text);
    }
    const qint64 n = takeRaw(data, std::min<qint64>(size, untilMeta_));
    if (n > 0)
        untilMeta_ -= n;
    return n;
}

QByteArray IcyConnection::peek(int max) {
    if (bufferPos_ == buffer_.size())
        fill();
    qint64 limit = max;
    if (metaint_ > 0)
        limit = std::min<qint64>(limit, untilMeta_);
    return buffer_.mid(bufferPos_, std::min<qint64>(limit, buffer_.size() - bufferPos_));
}

std::optional<QByteArray> IcyConnection::readBody(int max) {
    const auto lengthHeader = header("content-length");
    bool hasLength = false;
    const qint64 length = lengthHeader ? lengthHeader->toLongLong(&hasLength) : -1;
    if (hasLength && (length < 0 || length > max)) {
        fail(Failure::Protocol, QStringLiteral("the playlist is too large"));
        return std::nullopt;
    }
    QByteArray body;
    char chunk[4096];
    while (!hasLength || body.size() < length) {
        const qint64 n = readAudio(chunk, sizeof chunk);
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            break;
        body.append(chunk, n);
        if (body.size() > max) {
            fail(Failure::Protocol, QStringLiteral("the playlist is too large"));
            return std::nullopt;
        }
    }
    return body;
}

} // namespace varnelo
