#pragma once
#include "platform/cd/AlbumInfo.h"
#include "platform/cd/DiscToc.h"
#include "platform/cd/HttpGet.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

namespace varnelo::cd {

// Where album information comes from, as the options' "Free DB" tab sets it.
struct LookupSettings {
    enum class Source { Any = 0, CddbOnly = 1, LocalFile = 2 };
    Source source = Source::CddbOnly;
    QUrl cddbServer; // the cddb.cgi address
    int timeoutMs = 10000;
    QString proxy; // "host:port"; empty for none
    QUrl musicBrainzServer = QUrl(QStringLiteral("https://musicbrainz.org"));
    QString localFile; // xmcd entries for the "From 'CDFreeDB.ini' file." source
    // Album information found on a server is kept here, one file per disc, and
    // used before asking a server again; empty: nothing is kept.
    QString cacheFolder;
    QString user; // user and host named in the CDDB hello, and the contact
    QString host; //   in the User-Agent MusicBrainz asks for
};

// "http://gnudb.gnudb.org:80/~cddb/cddb.cgi" from a mirror's host name (or a
// full address) and the options' port text.
QUrl cddbServerUrl(const QString &site, const QString &port);

// The album-information component (TFreeDBInformation2): looks a disc up in
// a CDDB server, in MusicBrainz when the CDDB server has nothing ("Any
// available source"), or in a local file of xmcd entries. Works on the thread
// it lives on; the status arrives as signals: 1 connecting, 2 querying,
// 3 loaded (result() holds the information), -1 connection failed, -2 nothing found.
class FreeDBInformation : public QObject {
    Q_OBJECT
public:
    // MusicBrainz takes one request per second from a client.
    static constexpr int MusicBrainzIntervalMs = 1000;

    explicit FreeDBInformation(QObject *parent = nullptr);
    ~FreeDBInformation() override;

    LookupSettings settings;
    // Picks one of several matches: the index, or -1 to take none. Without it the first is taken.
    std::function<int(const QStringList &matches)> chooseMatch;

    void Query(const DiscToc &toc);
    void Cancel();
    bool busy() const { return busy_; }
    const std::optional<AlbumInfo> &result() const { return result_; }
    // Why the last lookup failed (status -1), for the command line and the log.
    QString lastError() const { return lastError_; }

Q_SIGNALS:
    void statusChanged(int status);

private:
    QNetworkAccessManager &network();
    void queryCddb();
    void readCddb(const QString &category, const QString &discId);
    // One CDDB command over HTTP; `onBody` gets a 200 answer of the current lookup,
    // any other outcome ends the CDDB part with its reason.
    void cddbGet(const QString &command, std::function<void(const QByteArray &body)> onBody);
    void queryMusicBrainz();
    void lookUpLocalFile();
    QString cachePath() const;
    bool lookUpCache();
    void keepInCache() const;
    void found(AlbumInfo info);
    void finish(int status);
    void cddbFailed(const QString &error);
    int choose(const QStringList &labels);
    QString hello() const;
    QByteArray userAgent() const;
    HttpOptions httpOptions(qint64 maxBytes) const;

    std::unique_ptr<QNetworkAccessManager> network_;
    QPointer<QNetworkReply> reply_;
    DiscToc toc_;
    std::optional<AlbumInfo> result_;
    QString lastError_;
    bool busy_ = false;
    bool cddbConnectionFailed_ = false;
    quint64 generation_ = 0;
};

} // namespace varnelo::cd
