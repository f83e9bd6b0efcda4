#pragma once
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <thread>

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
    int bytesPerSecond = 32000;    // pace after a first second's burst
    bool loop = true;
    int dropAfterBytes = 0; // >0: close the first dropConnections connections after so many audio bytes
    int dropConnections = 0;
    bool refuseAfterDrops = false; // connections after those answer 503
    Hostile hostile = Hostile::None;
    // Non-empty: the n-th connection to the mount behaves as cycle[(n-1) % size]
    // instead of as `hostile` (the soak bench's server cycles through them all).
    QList<Hostile> cycle;
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
