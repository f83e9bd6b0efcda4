#pragma once
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <thread>
#include <utility>

namespace varnelo::test {

// Audio of a known tone made by the ffmpeg tool (an independent encoder).
enum class ToneFormat { Mp3, Aac, OggVorbis, OggOpus };
struct Tone {
    ToneFormat format = ToneFormat::Mp3;
    int frequency = 440;
    double seconds = 5.0;
    QString title;        // Ogg only: the stream's TITLE comment
    QString artist;       // Ogg only
    int serialOffset = 0; // Ogg only: lets files be chained
};
// Writes into folder and returns the encoded bytes (empty on failure).
QByteArray makeTone(const Tone &tone, const QString &folder);
QByteArray contentTypeOf(ToneFormat format);

// Metadata text as servers send it: StreamTitle='<title>';StreamUrl=''; (UTF-8).
QByteArray streamTitle(const QString &title);

// What a mount does besides serving its audio.
enum class Hostile {
    None,
    EndlessHeaderLine,   // "icy-name:" followed by bytes that never reach a line end
    EndlessHeaders,      // header lines that never reach the blank line
    TrickleHeaders,      // a valid answer, one byte every 300 ms
    StallAfterHeaders,   // headers, then silence with the connection open
    TrickleAudio,        // headers, then one audio byte every 100 ms
    Meta255NoTerminator, // every metadata block: length byte 255, 4080 bytes, no NUL and no ';'
    Meta255Stall,        // first metadata block announces 255×16 bytes, sends 100, then stalls
    Garbage,             // random bytes instead of audio
    CloseAtOnce,         // the request read, the connection closes without a byte
    CutInHeaders,        // half of the headers, then the connection closes
    ResetMidAudio,       // two seconds of audio, then a reset (RST) instead of a close
    ServerError,         // "HTTP/1.0 500 Internal Server Error"
    BadStatusLine,       // binary bytes where the status line belongs, then headers and audio
    NotAudio,            // "200 OK" with an HTML page
    BadMetaint,          // an icy-metaint nobody can use (badMetaints, one after the other)
    WrongMetaint,        // metadata blocks a third of the announced interval apart
    WrongLength,         // "Content-Length: 1000" before an endless stream
    MetaFlood,           // "icy-metaint:16", a full 4080-byte title after every 16 audio bytes
    CorruptAudio,        // good audio with one byte in 200 replaced by a random one
    BadRedirect,         // a redirect to badLocations, one after the other
};

struct IcyMount {
    QByteArray audio; // served in a loop when loop is set
    QByteArray contentType = "audio/mpeg";
    QByteArray statusLine = "ICY 200 OK";
    QList<QByteArray> headers;     // extra raw header lines, sent exactly as given
    int metaint = 8192;            // 0: no metadata blocks (sent only to clients that ask)
    bool announceMetaint = true;   // sends "icy-metaint:<metaint>"
    QList<QByteArray> metadata;    // metadata texts, one after the other...
    int metadataIntervalMs = 1000; // ...each for this long (the last one stays)
    // Or texts tied to the audio: each from its byte of `audio` on, until the
    // next one (sent at the first metadata block at or after that byte).
    QList<std::pair<qint64, QByteArray>> metadataAt;
    int bytesPerSecond = 32000; // pace after a first second's burst
    bool loop = true;
    int dropAfterBytes = 0; // >0: close the first dropConnections connections after so many audio bytes
    int dropConnections = 0;
    bool refuseAfterDrops = false; // connections after those answer 503
    Hostile hostile = Hostile::None;
    // Non-empty: the n-th connection to the mount behaves as cycle[(n-1) % size]
    // instead of as `hostile` (the soak bench's server cycles through them all).
    QList<Hostile> cycle;
    // What the n-th BadMetaint or BadRedirect connection sends, in turn.
    QList<QByteArray> badMetaints = {"-1", "0", "abc", "99999999999", "2147483648", ""};
    QList<QByteArray> badLocations = {"", "http://[::1", "ftp://127.0.0.1/x", "http://127.0.0.1:1/"};
};

// A self-signed certificate for 127.0.0.1 made by the openssl tool.
struct TlsIdentity {
    QByteArray certificatePem;
    QByteArray keyPem;
};
TlsIdentity makeTestIdentity(const QString &folder); // empty on failure

// A radio server on 127.0.0.1 with a thread of its own. Routes are exact paths
// (query included when given).
class IcyServer {
public:
    IcyServer();
    ~IcyServer();
    IcyServer(const IcyServer &) = delete;
    IcyServer &operator=(const IcyServer &) = delete;

    bool start();
    // Serves https with this identity instead of http.
    bool startTls(const TlsIdentity &identity);
    quint16 port() const;
    QString url(const QString &path) const;

    void addMount(const QString &path, IcyMount mount);
    void addFile(const QString &path, const QByteArray &contentType, const QByteArray &body);
    void addRedirect(const QString &path, const QString &location, int code = 302);

    // Connections made to a path so far.
    int connections(const QString &path) const;
    // The request lines of the last request to a path.
    QList<QByteArray> lastRequest(const QString &path) const;
    // Connections still open.
    int openConnections() const;

    class Worker;
    struct Shared;

private:
    bool listen(std::optional<TlsIdentity> tls);

    std::unique_ptr<Shared> shared_;
    std::thread thread_;
    quint16 port_ = 0;
    bool tls_ = false;
};

} // namespace varnelo::test
