#include "rip/CdPlayer.h"

#include "common/Error.h"
#include "platform/cd/AudioCDGrabber.h"
#include "platform/sound/AudioPlayer.h"
#include "rip/CdRipper.h"

#include <QAction>

namespace varnelo {

namespace {

// a × b ÷ c rounded to the nearest integer; 0 for a zero divisor.
qint64 mulDivRound(qint64 a, qint64 b, qint64 c) {
    if (c == 0)
        return 0;
    const __int128 p = __int128(a) * b;
    const __int128 q = (p >= 0 ? p + c / 2 : p - c / 2) / c;
    return qint64(q);
}

// The time text of the CD page: "0" before the locale's short time, so 0:03:25 shows as 00:03:25.
QString timeText(qint64 seconds) {
    return QStringLiteral("0%1:%2:%3")
        .arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

// Sectors handed to the player at a time.
constexpr int FeedSectors = 10;

} // namespace

CdPlayer::CdPlayer(cd::AudioCDGrabber &grabber, AudioPlayer &player, CdRipper &ripper, QObject *parent)
    : Player(MediaKind::CdTrack, parent), grabber_(grabber), player_(player), ripper_(ripper) {
    Play3 = new QAction(QStringLiteral("Play"), this);
    Play3->setObjectName(QStringLiteral("Play3"));
    Stop3 = new QAction(QStringLiteral("Stop"), this);
    Stop3->setObjectName(QStringLiteral("Stop3"));
    connect(Play3, &QAction::triggered, this, &CdPlayer::PlayCdTrack);
    connect(Stop3, &QAction::triggered, this, &CdPlayer::StopCdPlayback);
    connect(&player_, &AudioPlayer::OnEndArrayPlay, this, &CdPlayer::FeedCdPlayer);
    connect(&player_, &AudioPlayer::OnRequestOnLoadArray, this, &CdPlayer::FeedCdPlayer);
    connect(&player_, &AudioPlayer::OnEndPlay, this, [this] {
        if (state() != PlayState::Stopped)
            NextCdTrack();
    });
}

int CdPlayer::highlightedRow() const {
    return state() != PlayState::Stopped ? CdRow : -1;
}

NowPlaying CdPlayer::nowPlaying() const {
    NowPlaying now;
    if (state() == PlayState::Stopped || CdRow < 0 || CdRow >= int(ripper_.TrackEntries.size()))
        return now;
    const TrackEntry &entry = ripper_.TrackEntries[std::size_t(CdRow)];
    now.kind = MediaKind::CdTrack;
    now.title = entry.Title;
    now.artist = entry.Artist;
    now.album = entry.Album;
    now.source = ripper_.CurrentTrackName();
    now.lengthMs = CdTrackSeconds * 1000;
    return now;
}

void CdPlayer::seek(qint64 ms) {
    if (CdTrackSeconds <= 0)
        return;
    BeginSeek();
    SeekCdTrack(
        int(mulDiv(std::clamp<qint64>(ms, 0, CdTrackSeconds * 1000), BarPixels, CdTrackSeconds * 1000)));
}

void CdPlayer::PlayCdTrack() {
    // The station stops before anything of the CD is read.
    Q_EMIT starting();
    if (state() != PlayState::Stopped)
        StopCdPlayback();
    if (ripper_.lv_cd.rowCount() == 0)
        return;
    setState(PlayState::Playing);
    if (ripper_.selectedRow() < 0)
        ripper_.selectRow(std::min(CdRow, ripper_.lv_cd.rowCount() - 1));
    CdRow = ripper_.selectedRow();
    ripper_.selectRow(CdRow);
    startRow(CdRow);
}

void CdPlayer::startRow(int row) {
    Q_EMIT starting();
    try {
        grabber_.SelectTrack(row);
        trackLength_ = grabber_.TrackLength();
        CdTrackSeconds = qint64(grabber_.TrackMinutes()) * 60 + grabber_.TrackSeconds();
        CdReadPosition = 0;
        grabber_.StartTrackRead();
        player_.SetPlayFormat(44100, 2);
        player_.Start();
        FeedCdPlayer();
        FeedCdPlayer();
        ripper_.rowOfPlaying = row;
        ripper_.setStatus(row, QStringLiteral("Play"));
        Q_EMIT highlightChanged();
        Q_EMIT nowPlayingChanged();
    } catch (const Error &e) {
        StopCdPlayback();
        if (reportError)
            reportError(QStringLiteral("Error during start playing the track!  ") + e.message());
    }
}

void CdPlayer::step(int delta) {
    StopCdPlayback();
    const int rows = ripper_.lv_cd.rowCount();
    if (rows == 0)
        return;
    const int selected = ripper_.selectedRow() < 0 ? CdRow : ripper_.selectedRow();
    CdRow = std::clamp(selected + delta, 0, rows - 1);
    ripper_.selectRow(CdRow);
    setState(PlayState::Playing);
    startRow(CdRow);
}

void CdPlayer::NextCdTrack() {
    step(1);
}

void CdPlayer::PreviousCdTrack() {
    step(-1);
}

void CdPlayer::StopCdPlayback() {
    player_.Stop();
    grabber_.StopTrackRead();
    if (state() == PlayState::Stopped)
        return;
    setState(PlayState::Stopped);
    CdReadPosition = 0;
    ripper_.rowOfPlaying = -1;
    bar_ = 0;
    if (setBar)
        setBar(0);
    if (setLabtime)
        setLabtime(QStringLiteral("00:00:00"));
    ripper_.setStatus(CdRow, QStringLiteral("Stop"));
    Q_EMIT highlightChanged();
}

void CdPlayer::FeedCdPlayer() {
    if (state() == PlayState::Stopped || seeking_)
        return;
    try {
        SampleBlock samples;
        const int count = grabber_.ReadSectors(FeedSectors, samples);
        player_.QueueSamples(samples);
        CdReadPosition += count;
        bar_ = int(
            std::min<qint64>(mulDivRound(CdReadPosition, BarMax, std::max<qint64>(trackLength_, 1)), BarMax));
        if (setBar)
            setBar(bar_);
        Q_EMIT positionChanged(positionMs());
        if (!(recordingRuns && recordingRuns()) && setLabtime)
            setLabtime(timeText(mulDivRound(CdTrackSeconds, bar_, BarMax)));
    } catch (const Error &e) {
        StopCdPlayback();
        if (reportError)
            reportError(e.message());
    }
}

void CdPlayer::SeekCdTrack(int x) {
    if (state() == PlayState::Stopped) {
        seeking_ = false;
        return;
    }
    try {
        const qint64 p = mulDivRound(std::clamp(x, 0, BarPixels), BarMax / 2, BarPixels);
        player_.Stop();
        const qint64 sector = mulDivRound(trackLength_, p, BarMax / 2);
        grabber_.SeekSector(sector, 1);
        CdReadPosition = sector;
        seeking_ = false;
        player_.SetPlayFormat(44100, 2);
        player_.Start();
        FeedCdPlayer();
        FeedCdPlayer();
    } catch (const Error &e) {
        seeking_ = false;
        StopCdPlayback();
        if (reportError)
            reportError(QStringLiteral("Error during seeking the track!  ") + e.message());
    }
}

} // namespace varnelo
