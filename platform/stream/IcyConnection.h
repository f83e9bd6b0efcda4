#pragma once
#include <QByteArray>
#include <QList>
#include <QSslCertificate>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>

class QTcpSocket;

namespace varnelo {

// One HTTP/ICY connection to a stream server, used on a single thread. Header
// lines are kept byte for byte as the server sent them (the station name lives
// in their case and blanks); metadata blocks are cut out of the audio bytes.
// Every wait is sliced so that the abort check (stop request or a deadline) is
// seen within a few tens of milliseconds; every size the server announces or
// sends is bounded.
class IcyConnection {
public:
    struct Limits {
        int maxRedirects = 5;
        int maxHeaderLine = 8 * 1024;
        int maxHeaderBytes = 64 * 1024;
        int maxHeaderLines = 200;
        int maxMetaint = 1024 * 1024;
    };

    enum class Failure { None, Aborted, Connect, Http, Protocol, Closed };

    // Returns true when the caller wants the connection to give up now.
    using AbortCheck = std::function<bool()>;
    using MetadataHandler = std::function<void(const QByteArray &text)>;

    IcyConnection(Limits limits, AbortCheck aborted);
    ~IcyConnection();
    IcyConnection(const IcyConnection &) = delete;
    IcyConnection &operator=(const IcyConnection &) = delete;

    // Connects, sends the request (with "Icy-MetaData: 1"), follows redirects
    // and reads the response headers. False with failure()/errorText() set.
    bool open(const QUrl &url);
    // Takes a whole response (status line, headers, body) from `response`
    // instead of a server, through the same header and metadata code as open()
    // and the reads after it; `redirect` receives a redirect's target.
    bool openResponse(const QByteArray &response, const QUrl &url, QUrl *redirect = nullptr);

    // The address that answered (after redirects).
    QUrl finalUrl() const { return finalUrl_; }
    // Raw header lines (status line excluded), without their line ends.
    const QList<QByteArray> &headerLines() const { return headers_; }
    // Value of the last header of this name (case-insensitive), trimmed.
    std::optional<QByteArray> header(const QByteArray &name) const;
    QByteArray contentType() const; // lower case, parameters dropped
    int metaint() const { return metaint_; }

    // Reads body bytes with the metadata blocks removed (handed to onMetadata).
    // Returns the count read, 0 at the end of the stream, -1 on failure.
    qint64 readAudio(char *data, qint64 size);
    // Waits for the first body bytes and returns up to max of them without consuming them.
    QByteArray peek(int max);
    // Reads the whole body, at most max bytes (for playlists). nullopt when it
    // failed or was longer than max.
    std::optional<QByteArray> readBody(int max);

    void setMetadataHandler(MetadataHandler handler) { onMetadata_ = std::move(handler); }
    // Authorities trusted for https besides the system's.
    void setCaCertificates(const QList<QSslCertificate> &certificates) { caCertificates_ = certificates; }

    Failure failure() const { return failure_; }
    QString errorText() const { return errorText_; }

private:
    bool openOnce(const QUrl &url, QUrl *redirect);
    void reset(const QUrl &url);
    bool readResponse(const QUrl &url, QUrl *redirect);
    bool readHeaders();
    bool waitForData();
    bool fill(); // reads what the socket has into buffer_; false on end or failure
    bool fail(Failure failure, const QString &text);
    qint64 takeRaw(char *data, qint64 size);

    Limits limits_;
    AbortCheck aborted_;
    std::unique_ptr<QTcpSocket> socket_;
    QUrl finalUrl_;
    QList<QByteArray> headers_;
    int metaint_ = 0;
    qint64 untilMeta_ = 0;
    QByteArray buffer_; // received body bytes not yet handed out
    qsizetype bufferPos_ = 0;
    bool ended_ = false;
    MetadataHandler onMetadata_;
    QList<QSslCertificate> caCertificates_;
    Failure failure_ = Failure::None;
    QString errorText_;
};

// Header and metadata bytes carry no charset: strict UTF-8 first, else Windows-1252.
QString decodeStreamText(const QByteArray &bytes);

} // namespace varnelo
