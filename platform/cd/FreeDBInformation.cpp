#include "platform/cd/FreeDBInformation.h"

#include "common/FileGuards.h"
#include "platform/cd/CddbProtocol.h"
#include "platform/cd/HttpGet.h"
#include "platform/cd/MusicBrainzJson.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSaveFile>
#include <QTimer>
#include <atomic>

namespace varnelo::cd {

namespace {

// A local file of entries may hold a whole collection; answers from servers are small.
constexpr qint64 LocalFileLimit = 64 << 20;
constexpr qint64 CacheFileLimit = 1 << 20;
constexpr qint64 CddbAnswerLimit = 1 << 20;
constexpr qint64 MusicBrainzAnswerLimit = 4 << 20;

std::atomic<qint64> lastMusicBrainzMs{0};

} // namespace

QUrl cddbServerUrl(const QString &site, const QString &port) {
    QString s = site.trimmed();
    if (s.isEmpty())
        return {};
    if (!s.contains(QStringLiteral("://")))
        s.prepend(QStringLiteral("http://"));
    QUrl url(s);
    bool ok = false;
    const int p = port.trimmed().toInt(&ok);
    if (ok && p > 0 && p < 65536 && url.port() < 0)
        url.setPort(p == 80 && url.scheme() == QLatin1String("http") ? -1 : p);
    if (url.path().isEmpty() || url.path() == QLatin1String("/"))
        url.setPath(QStringLiteral("/~cddb/cddb.cgi"));
    return url;
}

FreeDBInformation::FreeDBInformation(QObject *parent) : QObject(parent) {}

FreeDBInformation::~FreeDBInformation() {
    Cancel();
}

QNetworkAccessManager &FreeDBInformation::network() {
    if (!network_)
        network_ = std::make_unique<QNetworkAccessManager>();
    return *network_;
}

QString FreeDBInformation::hello() const {
    const QString user = settings.user.isEmpty() ? QStringLiteral("user") : settings.user;
    const QString host = settings.host.isEmpty() ? QStringLiteral("localhost") : settings.host;
    return QStringLiteral("%1 %2 Varnelo 1.00")
        .arg(user.simplified().replace(QLatin1Char(' '), QLatin1Char('_')),
             host.simplified().replace(QLatin1Char(' '), QLatin1Char('_')));
}

HttpOptions FreeDBInformation::httpOptions(qint64 maxBytes) const {
    HttpOptions options;
    options.timeoutMs = settings.timeoutMs;
    options.maxBytes = maxBytes;
    options.proxy = settings.proxy;
    options.userAgent = userAgent();
    return options;
}

QByteArray FreeDBInformation::userAgent() const {
    const QString user = settings.user.isEmpty() ? QStringLiteral("user") : settings.user;
    const QString host = settings.host.isEmpty() ? QStringLiteral("localhost") : settings.host;
    return QStringLiteral("Varnelo/1.00 ( %1@%2 )").arg(user, host).toUtf8();
}

void FreeDBInformation::Cancel() {
    ++generation_;
    if (reply_)
        reply_->abort();
    reply_ = nullptr;
    busy_ = false;
}

void FreeDBInformation::Query(const DiscToc &toc) {
    Cancel();
    toc_ = toc;
    result_.reset();
    lastError_.clear();
    cddbConnectionFailed_ = false;
    busy_ = true;
    const quint64 generation = generation_;
    // The status always arrives after Query has returned, whatever the source.
    QTimer::singleShot(0, this, [this, generation] {
        if (generation != generation_)
            return;
        if (settings.source == LookupSettings::Source::LocalFile) {
            lookUpLocalFile();
            return;
        }
        if (lookUpCache())
            return;
        Q_EMIT statusChanged(1);
        if (generation == generation_)
            queryCddb();
    });
}

void FreeDBInformation::finish(int status) {
    busy_ = false;
    reply_ = nullptr;
    Q_EMIT statusChanged(status);
}

int FreeDBInformation::choose(const QStringList &labels) {
    if (labels.size() == 1 || !chooseMatch)
        return 0;
    return chooseMatch(labels);
}

void FreeDBInformation::cddbFailed(const QString &error) {
    lastError_ = error;
    cddbConnectionFailed_ = true;
    if (settings.source == LookupSettings::Source::Any)
        queryMusicBrainz();
    else
        finish(-1);
}

void FreeDBInformation::queryCddb() {
    if (!settings.cddbServer.isValid() || settings.cddbServer.host().isEmpty()) {
        cddbFailed(tr("No CDDB server is set."));
        return;
    }
    const quint64 generation = generation_;
    cddbGet(QStringLiteral("cddb query ") + CddbQueryArguments(toc_),
            [this, generation](const QByteArray &body) {
                const CddbQueryAnswer q = parseCddbQueryAnswer(body);
                if (q.code == 200 || q.code == 210 || q.code == 211) {
                    QStringList labels;
                    for (const CddbMatch &m : q.matches)
                        labels << QStringLiteral("%1 (%2 %3)").arg(m.title, m.category, m.discId);
                    const int pick = choose(labels);
                    if (pick < 0 || pick >= int(q.matches.size()))
                        return finish(0); // the user took none
                    Q_EMIT statusChanged(2);
                    if (generation == generation_)
                        readCddb(q.matches[std::size_t(pick)].category, q.matches[std::size_t(pick)].discId);
                    return;
                }
                if (q.code == 202) {
                    if (settings.source == LookupSettings::Source::Any)
                        return queryMusicBrainz();
                    return finish(-2);
                }
                cddbFailed(q.code == 0 ? tr("The CDDB server gave no answer it could be understood by.")
                                       : tr("The CDDB server answered %1 %2").arg(q.code).arg(q.message));
            });
}

void FreeDBInformation::cddbGet(const QString &command, std::function<void(const QByteArray &body)> onBody) {
    const HttpOptions options = httpOptions(CddbAnswerLimit);
    const QUrl url = cddbCommandUrl(settings.cddbServer, command, hello());
    const quint64 generation = generation_;
    reply_ = httpGet(network(), url, options, this,
                     [this, generation, onBody = std::move(onBody)](const HttpAnswer &a) {
                         if (generation != generation_)
                             return;
                         if (!a.error.isEmpty())
                             return cddbFailed(a.error);
                         if (a.status != 200)
                             return cddbFailed(tr("The CDDB server answered HTTP %1.").arg(a.status));
                         onBody(a.body);
                     });
}

void FreeDBInformation::readCddb(const QString &category, const QString &discId) {
    cddbGet(QStringLiteral("cddb read %1 %2").arg(category, discId),
            [this, category, discId](const QByteArray &body) {
                const CddbReadAnswer r = parseCddbReadAnswer(body);
                if (r.code == 210) {
                    if (auto info = parseXmcd(r.entry, toc_.audioTrackCount())) {
                        info->source = QStringLiteral("CDDB %1/%2").arg(category, discId);
                        return found(std::move(*info));
                    }
                    return finish(-2);
                }
                if (r.code == 401)
                    return finish(-2);
                cddbFailed(tr("The CDDB server answered %1 %2").arg(r.code).arg(r.message));
            });
}

void FreeDBInformation::queryMusicBrainz() {
    const quint64 generation = generation_;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const qint64 wait = lastMusicBrainzMs.load() + MusicBrainzIntervalMs - now;
    if (wait > 0) {
        QTimer::singleShot(int(wait), this, [this, generation] {
            if (generation == generation_)
                queryMusicBrainz();
        });
        return;
    }
    lastMusicBrainzMs = now;
    Q_EMIT statusChanged(2);
    if (generation != generation_)
        return;
    const QString discId = MusicBrainzDiscId(toc_);
    QUrl url = settings.musicBrainzServer;
    url.setPath(url.path().chopped(url.path().endsWith(QLatin1Char('/')) ? 1 : 0) +
                QStringLiteral("/ws/2/discid/") + discId);
    url.setQuery(QStringLiteral("inc=recordings+artist-credits&fmt=json"));
    const HttpOptions options = httpOptions(MusicBrainzAnswerLimit);
    reply_ = httpGet(network(), url, options, this, [this, generation, discId](const HttpAnswer &a) {
        // The next request keeps its distance from this answer too: a slow
        // request must not bring two of them closer at the server.
        lastMusicBrainzMs = QDateTime::currentMSecsSinceEpoch();
        if (generation != generation_)
            return;
        // Without the disc at MusicBrainz, a CDDB server that could not be asked
        // leaves the lookup failed: the message names both.
        const auto nothing = [this](const QString &why) {
            if (!cddbConnectionFailed_)
                return finish(-2);
            lastError_ = why + tr("; CDDB: ") + lastError_;
            finish(-1);
        };
        if (!a.error.isEmpty()) {
            lastError_ = a.error;
            return finish(-1);
        }
        if (a.status == 404)
            return nothing(tr("MusicBrainz does not know this disc"));
        if (a.status != 200) {
            lastError_ = tr("MusicBrainz answered HTTP %1.").arg(a.status);
            return finish(-1);
        }
        if (a.body.trimmed().isEmpty()) {
            lastError_ = tr("MusicBrainz sent an empty answer.");
            return finish(-1);
        }
        const std::vector<MusicBrainzRelease> releases =
            parseMusicBrainzDiscAnswer(a.body, discId, toc_.audioTrackCount());
        if (releases.empty())
            return nothing(tr("MusicBrainz has no release of this disc"));
        QStringList labels;
        for (const MusicBrainzRelease &r : releases)
            labels << r.label;
        const int pick = choose(labels);
        if (pick < 0 || pick >= int(releases.size()))
            return finish(0);
        found(releases[std::size_t(pick)].info);
    });
}

// Named by the MusicBrainz disc id, which (unlike the CDDB id) tells discs
// apart by every track's offset.
QString FreeDBInformation::cachePath() const {
    if (settings.cacheFolder.isEmpty())
        return {};
    QString id = MusicBrainzDiscId(toc_);
    id.replace(QLatin1Char('/'), QLatin1Char('_')); // not in its alphabet; kept out of paths all the same
    return QDir(settings.cacheFolder).filePath(id + QStringLiteral(".xmcd"));
}

bool FreeDBInformation::lookUpCache() {
    const QString path = cachePath();
    if (path.isEmpty() || !files::isRegularFile(path))
        return false;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray entry = f.read(CacheFileLimit);
    auto info = parseXmcd(entry, toc_.audioTrackCount());
    if (!info || !xmcdDiscIds(entry).contains(CddbDiscId(toc_)))
        return false; // damaged or another disc's: asked anew and written over
    const QString source = xmcdSource(entry);
    info->source = source.isEmpty() ? QStringLiteral("kept album information") : source;
    result_ = std::move(info);
    finish(3);
    return true;
}

void FreeDBInformation::keepInCache() const {
    const QString path = cachePath();
    if (path.isEmpty() || !result_ || !QDir().mkpath(settings.cacheFolder))
        return;
    // Replaced whole or not at all; a disc that cannot be kept is only asked again next time.
    QSaveFile f(path);
    if (f.open(QIODevice::WriteOnly) && f.write(writeXmcd(*result_, toc_)) >= 0)
        f.commit();
}

void FreeDBInformation::found(AlbumInfo info) {
    result_ = std::move(info);
    keepInCache();
    finish(3);
}

void FreeDBInformation::lookUpLocalFile() {
    QFile f(settings.localFile);
    if (!f.open(QIODevice::ReadOnly)) {
        lastError_ = tr("Cannot read %1: %2").arg(settings.localFile, f.errorString());
        return finish(-2);
    }
    const QByteArray bytes = f.read(LocalFileLimit);
    const QString id = CddbDiscId(toc_);
    for (const QByteArray &entry : splitXmcdEntries(bytes)) {
        if (!xmcdDiscIds(entry).contains(id))
            continue;
        if (auto info = parseXmcd(entry, toc_.audioTrackCount())) {
            info->source = QStringLiteral("%1 (%2)").arg(settings.localFile, id);
            result_ = std::move(info);
            return finish(3);
        }
    }
    finish(-2);
}

} // namespace varnelo::cd
