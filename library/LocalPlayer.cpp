#include "library/LocalPlayer.h"

#include "common/Error.h"
#include "common/ShownPage.h"
#include "library/LibraryCatalogue.h"
#include "platform/audiofile/AudioFile.h"
#include "platform/sound/AudioPlayer.h"
#include "platform/tags/AudioInformation.h"
#include "platform/tags/TrackTagReaders.h"

#include <QFileInfo>
#include <QItemSelectionModel>
#include <QStandardItemModel>
#include <algorithm>
#include <cmath>
#include <limits>

namespace varnelo {
namespace {

const QString kNowPlaying = QStringLiteral("Now Playing");
const QString kZeroTime = QStringLiteral("00:00:00");
// Tracks queued ahead at most: short ones may be heard several at a time.
constexpr std::size_t MaxFollowing = 4;

} // namespace

qint64 MulDivRound(qint64 a, qint64 b, qint64 c) {
    if (c == 0)
        return -1;
    const __int128 product = static_cast<__int128>(a) * b;
    __int128 quotient = product / c;
    const __int128 remainder = product % c;
    const __int128 absRemainder = remainder < 0 ? -remainder : remainder;
    const __int128 absDivisor = c < 0 ? -static_cast<__int128>(c) : static_cast<__int128>(c);
    if (2 * absRemainder >= absDivisor)
        quotient += ((product < 0) != (c < 0)) ? -1 : 1;
    if (quotient > std::numeric_limits<qint64>::max() || quotient < std::numeric_limits<qint64>::min())
        return -1;
    return static_cast<qint64>(quotient);
}

QString ElapsedText(qint64 seconds) {
    if (seconds < 0)
        seconds = 0;
    const qint64 h = seconds / 3600;
    const qint64 m = (seconds - h * 3600) / 60;
    const qint64 s = seconds % 60;
    return QString::asprintf("%.2lld:%.2lld:%.2lld", static_cast<long long>(h), static_cast<long long>(m),
                             static_cast<long long>(s));
}

LocalPlayer::LocalPlayer(const ShownPage &page, LibraryCatalogue &library, AudioFile &file,
                         AudioPlayer &player, QObject *parent)
    : Player(MediaKind::File, parent), page_(page), library_(library), file_(file), player_(player) {
    connect(&player_, &AudioPlayer::OnEndArrayPlay, this, &LocalPlayer::AudioPlayerEndArrayPlay);
    connect(&player_, &AudioPlayer::OnRequestOnLoadArray, this, &LocalPlayer::AudioPlayerRequestOnLoadArray);
    connect(&player_, &AudioPlayer::OnTimer, this,
            [this](qint64 current, int, int) { AudioPlayerTimer(current); });
    connect(&player_, &AudioPlayer::OnEndPlay, this, &LocalPlayer::AudioPlayerEndPlay);
    connect(&player_, &AudioPlayer::OnTrackBoundary, this, &LocalPlayer::AudioPlayerTrackBoundary);
}

LocalPlayer::~LocalPlayer() = default;

void LocalPlayer::setRecordingsList(QStandardItemModel *model, QItemSelectionModel *selection) {
    recordings_ = model;
    recordingsSelection_ = selection;
    // New recordings go on top and rows are removed: the playing row is
    // counted by index, so the index follows the file.
    connect(model, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex &, int first, int last) {
        if (playingList_ != List::Recordings)
            return;
        if (library_.lists.playingIndex >= first)
            library_.lists.playingIndex += last - first + 1;
        for (Following &f : following_)
            if (f.row >= first)
                f.row += last - first + 1;
    });
    connect(model, &QAbstractItemModel::rowsRemoved, this, [this](const QModelIndex &, int first, int last) {
        if (playingList_ != List::Recordings)
            return;
        if (library_.lists.playingIndex > last)
            library_.lists.playingIndex -= last - first + 1;
        for (Following &f : following_)
            if (f.row > last)
                f.row -= last - first + 1;
    });
}

QStandardItemModel *LocalPlayer::model(List list) const {
    return list == List::Library ? &library_.lv2 : recordings_;
}

int LocalPlayer::selectedRow(List list) const {
    if (list == List::Library)
        return library_.selectedRow();
    if (!recordingsSelection_)
        return -1;
    const QModelIndexList rows = recordingsSelection_->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void LocalPlayer::selectRow(List list, int row) {
    if (list == List::Library) {
        library_.selectRow(row);
        return;
    }
    if (!recordings_ || !recordingsSelection_ || row < 0 || row >= recordings_->rowCount())
        return;
    recordingsSelection_->setCurrentIndex(recordings_->index(row, 0),
                                          QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

QString LocalPlayer::rowPath(List list, int row) const {
    const QStandardItemModel *m = model(list);
    const int column = list == List::Library ? LibraryPathColumn : RecordingPathColumn;
    if (!m || row < 0 || row >= m->rowCount())
        return {};
    const QStandardItem *item = m->item(row, column);
    return item ? item->text() : QString();
}

int LocalPlayer::barValue() const {
    return bar ? bar() : barValue_;
}

void LocalPlayer::showBar(int value) {
    barValue_ = value;
    if (setBar)
        setBar(value);
}

void LocalPlayer::showTime(const QString &text) {
    if (setLabtime)
        setLabtime(text);
}

qint64 LocalPlayer::barToPosition(int value) const {
    return MulDivRound(value, file_.Length(), BarMax);
}

void LocalPlayer::setPlaying(bool playing, bool paused) {
    setState(!playing ? PlayState::Stopped : paused ? PlayState::Paused : PlayState::Playing);
}

NowPlaying LocalPlayer::readTags(const QString &path, const AudioFile &file) const {
    // Read once per file; what the list shows may change while it plays.
    NowPlaying tags;
    tags.kind = MediaKind::File;
    tags.source = path;
    try {
        const TrackFields f = ReadTrackFields(path, QLatin1Char('.') + QFileInfo(path).suffix().toLower());
        tags.title = f.title;
        tags.artist = f.artist;
        tags.album = f.album;
    } catch (const Error &) {
    }
    const QString unknown = QStringLiteral("Unknown");
    if (tags.title.isEmpty() || tags.title == unknown)
        tags.title = QFileInfo(path).completeBaseName();
    if (tags.artist == unknown)
        tags.artist.clear();
    if (tags.album == unknown)
        tags.album.clear();
    if (file.SampleRate() > 0)
        tags.lengthMs = file.Length() * 1000 / file.SampleRate();
    return tags;
}

double LocalPlayer::replayGainFactor(const QString &path) const {
    const int mode = replayGainMode ? replayGainMode() : 0;
    if (mode != 1 && mode != 2)
        return 1.0;
    const QString track = QStringLiteral("REPLAYGAIN_TRACK_GAIN"),
                  trackPeak = QStringLiteral("REPLAYGAIN_TRACK_PEAK");
    const QString album = QStringLiteral("REPLAYGAIN_ALBUM_GAIN"),
                  albumPeak = QStringLiteral("REPLAYGAIN_ALBUM_PEAK");
    QMap<QString, QString> fields;
    try {
        fields = AudioInformation().LoadFields(path, {track, trackPeak, album, albumPeak});
    } catch (const Error &) {
        return 1.0;
    }
    const bool useAlbum = mode == 2 && fields.contains(album);
    // "-6.20 dB"; a value that is not a number leaves the file as it is.
    const auto number = [&fields](const QString &name, double fallback) {
        bool ok = false;
        const double v = QString(fields.value(name))
                             .remove(QStringLiteral("dB"), Qt::CaseInsensitive)
                             .trimmed()
                             .toDouble(&ok);
        return ok && std::isfinite(v) ? v : fallback;
    };
    const double db = std::clamp(number(useAlbum ? album : track, 0.0), -60.0, 24.0);
    const double peak = number(useAlbum ? albumPeak : trackPeak, 0.0);
    double factor = std::pow(10.0, db / 20.0);
    // Never louder than the peak allows: no clipping.
    if (peak > 0 && factor * peak > 1.0)
        factor = 1.0 / peak;
    return factor;
}

NowPlaying LocalPlayer::nowPlaying() const {
    return state() == PlayState::Stopped ? NowPlaying{} : tags_;
}

qint64 LocalPlayer::positionMs() const {
    if (state() == PlayState::Stopped || !file_.GetFileOpen() || file_.SampleRate() <= 0)
        return 0;
    return (startOffset_ + playedFrames_) * 1000 / file_.SampleRate();
}

void LocalPlayer::play() {
    if (state() == PlayState::Paused)
        TogglePause();
    else if (state() == PlayState::Stopped)
        PlayPause();
}

void LocalPlayer::pause() {
    if (state() == PlayState::Playing)
        TogglePause();
}

void LocalPlayer::seek(qint64 ms) {
    if (state() == PlayState::Stopped || file_.Length() <= 0 || file_.SampleRate() <= 0)
        return;
    const qint64 value =
        MulDivRound(std::max<qint64>(0, ms) * file_.SampleRate() / 1000, BarMax, file_.Length());
    BeginSeek();
    showBar(int(std::clamp<qint64>(value, 0, BarMax)));
    EndSeek();
}

int LocalPlayer::highlightedRow(List list) const {
    return state() != PlayState::Stopped && list == playingList_ ? library_.lists.playingIndex : -1;
}

void LocalPlayer::FeedPlayer() {
    // A late event after the file was closed has nothing to read.
    if (!file_.GetFileOpen())
        return;
    // Past the end of CurrentFile the rows queued behind it are read.
    AudioFile &source = following_.empty() ? file_ : *following_.back().file;
    const double gain = following_.empty() ? gain_ : following_.back().gain;
    SampleBlock array = source.ReadSamples(ArraySize);
    const bool atEnd = qint64(array.size()) < ArraySize * std::max(1, source.Channels());
    if (gain != 1.0)
        for (Sample &s : array)
            s = Sample(std::clamp<double>(std::round(s * gain), std::numeric_limits<Sample>::min(),
                                          std::numeric_limits<Sample>::max()));
    player_.QueueSamples(array);
    if (atEnd && queueFollowingRow())
        FeedPlayer();
}

// Opens the row after the last one queued and queues its sound right behind,
// when it has the format that plays: no new stream, no silence between.
bool LocalPlayer::queueFollowingRow() {
    if (followingRefused_ || following_.size() >= MaxFollowing)
        return false;
    Following next;
    next.row = (following_.empty() ? library_.lists.playingIndex : following_.back().row) + 1;
    next.path = rowPath(playingList_, next.row);
    next.file = std::make_unique<AudioFile>();
    const SoundFormat format = player_.PlayFormat();
    if (next.path.isEmpty() || !next.file->OpenSource(next.path) ||
        next.file->SampleRate() != format.sampleRate || next.file->Channels() != format.channels) {
        followingRefused_ = true;
        return false;
    }
    next.tags = readTags(next.path, *next.file);
    next.gain = replayGainFactor(next.path);
    player_.MarkTrackBoundary();
    following_.push_back(std::move(next));
    return true;
}

void LocalPlayer::dropFollowing() {
    following_.clear();
    followingRefused_ = false;
    trackBase_ = 0;
}

void LocalPlayer::AudioPlayerTrackBoundary(qint64 CurrentSamples) {
    if (following_.empty())
        return;
    Following next = std::move(following_.front());
    following_.pop_front();
    file_.TakeSource(*next.file);
    CurrentFile = next.path;
    tags_ = next.tags;
    gain_ = next.gain;
    library_.lists.playingIndex = next.row;
    EndedByPlayer = true;
    selectRow(playingList_, next.row);
    startOffset_ = 0;
    trackBase_ = CurrentSamples;
    playedFrames_ = 0;
    // A pause before the next time report resumes from the bar.
    if (!SeekDragging)
        showBar(0);
    Q_EMIT highlightChanged();
    Q_EMIT nowPlayingChanged();
}

void LocalPlayer::startSequence(int startValue) {
    dropFollowing();
    player_.SetPlayFormat(file_.SampleRate(), file_.Channels());
    // A file without a length cannot be placed: it plays from its start.
    startOffset_ = std::max<qint64>(0, MulDivRound(startValue, file_.Length(), BarMax));
    playedFrames_ = 0;
    file_.Seek(startOffset_);
    ArraySize = player_.MillisecondsToSamples(200);
    player_.Start();
    FeedPlayer();
    FeedPlayer();
}

bool LocalPlayer::openRow(List list, int row) {
    dropFollowing();
    if (file_.GetFileOpen())
        file_.CloseFile();
    playingList_ = list;
    library_.lists.playingIndex = row;
    CurrentFile = rowPath(list, row);
    if (!CurrentFile.isEmpty() && file_.OpenSource(CurrentFile)) {
        tags_ = readTags(CurrentFile, file_);
        gain_ = replayGainFactor(CurrentFile);
        setPlaying(true, false);
        Q_EMIT nowPlayingChanged();
        return true;
    }
    // Nothing open means nothing plays: the state says so.
    file_.CloseFile();
    setPlaying(false, false);
    Q_EMIT highlightChanged();
    return false;
}

void LocalPlayer::PlayPause() {
    // The file component belongs to a running conversion.
    if (fileComponentBusy())
        return;
    Q_EMIT starting();
    if (!page_.radio() && !EndedByPlayer) {
        const QStandardItem *node = library_.selectedNode();
        library_.lists.playingListText = node ? node->text() : QString();
    }
    if (library_.lists.playingListText != kNowPlaying)
        library_.lists.nowPlayingValid = false;
    EndedByPlayer = false;

    const List list = page_.radio() ? List::Recordings : List::Library;
    const QStandardItemModel *m = model(list);
    if (!m || m->rowCount() == 0)
        return;
    if (selectedRow(list) < 0)
        selectRow(list, state() != PlayState::Stopped ? library_.lists.playingIndex : 0);
    if (selectedRow(list) < 0)
        selectRow(list, 0); // the remembered row is gone
    playingList_ = list;
    library_.lists.playingIndex = selectedRow(list);
    Q_EMIT highlightChanged();

    startOffset_ = barToPosition(barValue());
    playedFrames_ = 0;
    trackBase_ = 0;
    if (state() == PlayState::Playing) {
        player_.Stop();
        setPlaying(true, true);
        return;
    }
    if (state() == PlayState::Paused) {
        player_.Start();
        setPlaying(true, false);
        return;
    }
    if (!openRow(list, library_.lists.playingIndex)) {
        const QString failed = CurrentFile;
        if (list == List::Library) {
            // An entry whose file is gone leaves the library.
            if (deleteEntries)
                deleteEntries();
            return;
        }
        throw Error(QStringLiteral("Cannot open \"%1\": %2").arg(failed, file_.ErrorText()));
    }
    startSequence(barValue());
}

bool LocalPlayer::TogglePause() {
    if (state() == PlayState::Stopped || fileComponentBusy())
        return false;
    startOffset_ = barToPosition(barValue());
    playedFrames_ = 0;
    trackBase_ = 0;
    const bool pausing = state() == PlayState::Playing;
    if (pausing)
        player_.Stop();
    else
        player_.Start();
    setPlaying(true, pausing);
    return true;
}

void LocalPlayer::PlayRow(int row) {
    // The file component belongs to a running conversion.
    if (fileComponentBusy())
        return;
    Q_EMIT starting();
    library_.lists.playingListText = kNowPlaying;
    if (!openRow(List::Library, row))
        throw Error(QStringLiteral("Cannot open \"%1\": %2").arg(CurrentFile, file_.ErrorText()));
    Q_EMIT highlightChanged();
    startSequence(0);
}

void LocalPlayer::StopPlayback() {
    player_.Stop();
    dropFollowing();
    file_.CloseFile();
    setPlaying(false, false);
    showBar(0);
    Q_EMIT highlightChanged();
    showTime(kZeroTime);
}

void LocalPlayer::NextTrack() {
    step(1);
}

void LocalPlayer::PreviousTrack() {
    step(-1);
}

void LocalPlayer::step(int delta) {
    if (fileComponentBusy())
        return;
    if (state() == PlayState::Stopped) {
        const List list = (!page_.radio() || !page_.recordingsListShown()) ? List::Library : List::Recordings;
        library_.lists.playingIndex = std::max(0, selectedRow(list) + delta);
        playingList_ = list;
        selectRow(list, library_.lists.playingIndex);
        return;
    }
    // Playing goes on in the list it came from: a recording is followed by
    // the next recording, not by a library entry.
    const List list = playingList_;
    StopPlayback();
    const QStandardItemModel *m = model(list);
    const int rows = m ? m->rowCount() : 0;
    // Before the first row the first one starts again; past the last the list has played out.
    const int next = std::max(0, library_.lists.playingIndex + delta);
    if (next >= rows)
        return;
    selectRow(list, next);
    if (!openRow(list, next))
        throw Error(QStringLiteral("Cannot open \"%1\": %2").arg(CurrentFile, file_.ErrorText()));
    Q_EMIT highlightChanged();
    startSequence(barValue());
}

void LocalPlayer::AudioPlayerTimer(qint64 CurrentSamples) {
    if (page_.rip())
        return;
    playedFrames_ = CurrentSamples - trackBase_;
    Q_EMIT positionChanged(positionMs());
    const qint64 position = playedFrames_ + startOffset_;
    const qint64 ms = MulDivRound(position, file_.Duration(), file_.Length());
    showTime(ElapsedText(ms < 0 ? 0 : ms / 1000));
    if (SeekDragging)
        return;
    const qint64 value = MulDivRound(position, BarMax, file_.Length());
    if (value >= 0)
        showBar(static_cast<int>(std::min<qint64>(value, BarMax)));
}

void LocalPlayer::AudioPlayerEndPlay() {
    EndedByPlayer = true;
    try {
        NextTrack();
    } catch (const Error &e) {
        if (reportError)
            reportError(e.message());
    }
}

void LocalPlayer::BeginSeek() {
    if (state() == PlayState::Stopped)
        return;
    SeekDragging = true;
    player_.Stop();
}

void LocalPlayer::EndSeek() {
    SeekDragging = false;
    if (state() == PlayState::Stopped)
        return;
    startOffset_ = std::max<qint64>(0, barToPosition(barValue()));
    playedFrames_ = 0;
    dropFollowing();
    // A new stream: what was queued from the old place must not play first.
    player_.SetPlayFormat(file_.SampleRate(), file_.Channels());
    file_.Seek(startOffset_);
    player_.Start();
    FeedPlayer();
    FeedPlayer();
    // The sound runs again, so the next Play/Pause pauses it.
    setPlaying(true, false);
    showTime(QString());
}

void LocalPlayer::lv2DblClick() {
    if (fileComponentBusy())
        return;
    if (state() != PlayState::Stopped)
        StopPlayback();
    if (library_.rowCount() > 0 && library_.selectedRow() >= 0)
        PlayPause();
}

void LocalPlayer::LV_RDblClick() {
    if (fileComponentBusy())
        return;
    if (state() != PlayState::Stopped)
        StopPlayback();
    if (selectedRow(List::Recordings) >= 0)
        PlayPause();
}

} // namespace varnelo
