#include "radio/Recorder.h"

#include "common/Seams.h"
#include "common/ShownPage.h"
#include "common/TextRules.h"
#include "platform/sound/AudioRecord.h"
#include "platform/stream/StreamLibrary.h"
#include "platform/tags/AudioInformation.h"
#include "radio/RecorderInbox.h"
#include "radio/RecordingName.h"
#include "radio/RecordingsList.h"
#include "radio/StreamTitle.h"

#include <QDir>
#include <QFileInfo>

namespace varnelo {

namespace {

constexpr int BlockMs = 200;
constexpr int UnheardBlockMs = 1000;

int kindOfExtension(const QString &extension) {
    const QStringList known{QStringLiteral(".mp3"), QStringLiteral(".wav"),  QStringLiteral(".wma"),
                            QStringLiteral(".ogg"), QStringLiteral(".flac"), QStringLiteral(".opus")};
    return std::max<int>(0, int(known.indexOf(extension.toLower())));
}

} // namespace

Recorder::Recorder(const ShownPage &page, AudioRecord &recorder, StreamLibrary &streams, Clock &clock,
                   DesktopShell &shell, RecordingsList &list, RecorderHooks hooks, QObject *parent)
    : QObject(parent), page_(page), AudioRecord1_(recorder), streams_(streams), clock_(clock), shell_(shell),
      list_(list), hooks_(std::move(hooks)) {
    connect(&AudioRecord1_, &AudioRecord::OnEndArrayRecord, this, &Recorder::AudioRecord1EndArrayRecord);
    connect(&AudioRecord1_, &AudioRecord::OnTimer, this,
            [this](qint64 samples, int, int) { AudioRecord1Timer(samples); });
    drain_.setInterval(BlockMs);
    connect(&drain_, &QTimer::timeout, this, &Recorder::drainBroadcast);
}

Recorder::~Recorder() {
    // A recording that runs as the program ends still leaves a complete file.
    if (recording_)
        StopRecording();
    detachStream();
}

QString Recorder::stationTitle() const {
    QString title = hooks_.title ? hooks_.title() : QString();
    // Right after tuning in the status text is empty while the station has
    // already named what it plays.
    if (title.isEmpty() && stationPlaying())
        title = ParseStreamTitle(streams_.MetaTag(streamHandle())).value_or(QString());
    return title;
}

QString Recorder::baseName(bool titleNamed, const QString &title) {
    const bool station = stationPlaying();
    QString base;
    if (titleNamed) {
        base = title.isEmpty() ? QStringLiteral("temp") : title;
    } else {
        switch (hooks_.naming ? hooks_.naming() : 0) {
        case 0:
            if (station) {
                base = stationTitle();
                if (base.isEmpty()) {
                    base = QStringLiteral("temp");
                    if (hooks_.setTitle)
                        hooks_.setTitle(base);
                }
            }
            break;
        case 1:
            if (station && hooks_.genre)
                base = hooks_.genre();
            break;
        default:
            break;
        }
    }
    // A CD track being played on the rip page names the recording.
    if (page_.rip() && (hooks_.cdPlaying && hooks_.cdPlaying()) && hooks_.cdTrackName)
        if (const QString track = hooks_.cdTrackName(); !track.isEmpty())
            base = track;
    base = SafeBaseName(base);
    return base.isEmpty() ? DateTimeName(clock_.now()) : base;
}

void Recorder::StartRecording() {
    if (recording_)
        return;
    recording_ = true;
    recordedMs_ = 0;
    const int kind = hooks_.format ? hooks_.format() : 0;
    if (kind >= 0 && kind < RecordingFormatCount && hooks_.configureEncoder)
        extension_ = hooks_.configureEncoder(kind, AudioFile_, encoder_);
    if (extension_.isEmpty())
        extension_ = QStringLiteral(".mp3");
    kind_ = kindOfExtension(extension_);

    folder_ = hooks_.outputFolder ? hooks_.outputFolder() : QDir::homePath();
    if (!folder_.endsWith(QDir::separator()) && !folder_.endsWith(QLatin1Char('/')))
        folder_ += QDir::separator();
    if (!QFileInfo(folder_).isDir() && !QDir().mkdir(folder_)) {
        failRecording(QStringLiteral("Cannot create the recording folder \"%1\"").arg(folder_));
        return;
    }
    RemoveStaleParts(folder_);

    split_ = hooks_.splitByTitle && hooks_.splitByTitle() && stationPlaying();
    const QString title = split_ ? stationTitle() : QString();
    mode_ = chooseBroadcast(kind_) ? Mode::Broadcast : Mode::Encoded;
    writeFailed_ = false;
    broadcastMs_ = 0;
    blockFramesWritten_ = 0;
    if (!openPiece(baseName(split_, title), title))
        return;
    if (!startCapture())
        return;
    if (split_ || mode_ == Mode::Broadcast || stationFeed_)
        attachStream();
}

bool Recorder::chooseBroadcast(int kind) const {
    if (!hooks_.asBroadcast || !hooks_.asBroadcast() || !stationPlaying() || streamHandle() == 0)
        return false;
    // The station's own sound: what the program plays, not a microphone, and not a CD being played.
    if (AudioRecord1_.GetDevice() != AudioRecord::ProgramOutputDevice ||
        (page_.rip() && (hooks_.cdPlaying && hooks_.cdPlaying())))
        return false;
    const StreamCodec codec = streams_.FrameCodec(streamHandle());
    return (kind == 0 && codec == StreamCodec::Mp3) || (kind == 3 && codec == StreamCodec::OggVorbis) ||
           (kind == 5 && codec == StreamCodec::OggOpus);
}

bool Recorder::openPiece(const QString &base, const QString &title) {
    const NewRecordingFile created = CreateRecordingFile(folder_, base, extension_);
    if (created.path.isEmpty()) {
        failRecording(created.error);
        return false;
    }
    piece_ = Piece{};
    piece_.path = created.path;
    piece_.part = created.part;
    piece_.title = title;
    recordFile_ = created.path;
    if (mode_ == Mode::Broadcast) {
        out_.setFileName(created.part);
        if (!out_.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            const QString why = out_.errorString();
            QFile::remove(created.part);
            failRecording(QStringLiteral("Cannot write \"%1\": %2").arg(created.path, why));
            return false;
        }
        return true;
    }
    if (AudioFile_.GetFileOpen())
        AudioFile_.CloseFile();
    if (!AudioFile_.CreateOutputFile(created.part)) {
        const QString why = AudioFile_.ErrorText();
        QFile::remove(created.part);
        failRecording(QStringLiteral("Cannot create \"%1\": %2").arg(created.path, why));
        return false;
    }
    piece_.sampleRate = AudioFile_.SampleRate();
    return true;
}

bool Recorder::startCapture() {
    if (mode_ == Mode::Broadcast) {
        headers_.clear();
        inHeaders_ = false;
        drain_.start();
        return true;
    }
    AudioRecord1_.SetRecordFormat(AudioFile_.SampleRate(), AudioFile_.Channels());
    stationFeed_ = nullptr;
    if (hooks_.unheard && hooks_.unheard() && stationPlaying() && streamHandle() != 0 &&
        AudioRecord1_.GetDevice() == AudioRecord::ProgramOutputDevice) {
        // Nothing waits on the blocks but the file: fewer, longer hand-overs
        // (a stop still writes what was captured up to it).
        AudioRecord1_.SetBlockSamples(AudioRecord1_.MillisecondsToSamples(UnheardBlockMs));
        stationFeed_ = AudioRecord1_.StartFeedRecord();
    } else {
        AudioRecord1_.SetBlockSamples(AudioRecord1_.MillisecondsToSamples(BlockMs));
        AudioRecord1_.StartRecord();
    }
    if (AudioRecord1_.GetRecordError() != 0) {
        // Nothing was captured: the empty file does not stay as if it held a recording.
        const QString why = AudioRecord1_.GetRecordErrorText();
        AudioFile_.CloseFile();
        QFile::remove(piece_.part);
        failRecording(QStringLiteral("The recording could not start: %1").arg(why));
        return false;
    }
    return true;
}

void Recorder::failRecording(const QString &message) {
    const Mode mode = std::exchange(mode_, Mode::Idle);
    drain_.stop();
    detachStream();
    if (mode == Mode::Encoded && AudioRecord1_.IsRecording())
        AudioRecord1_.StopRecord(); // what it hands out now finds no file
    if (out_.isOpen())
        out_.close();
    recording_ = false;
    if (hooks_.reportError)
        hooks_.reportError(message);
}

bool Recorder::StopRecordingIfRunning() {
    if (!recording_)
        return false;
    StopRecording();
    return true;
}

void Recorder::StopRecording() {
    if (!recording_)
        return;
    if (mode_ == Mode::Encoded) {
        // The blocks captured so far come in through AudioRecord1EndArrayRecord before this returns.
        AudioRecord1_.StopRecord();
    } else if (mode_ == Mode::Broadcast) {
        detachStream(); // nothing comes after what the inbox holds
        drain_.stop();
        drainBroadcast();
    }
    detachStream();
    stationFeed_ = nullptr;
    if (mode_ != Mode::Idle)
        finishPiece();
    mode_ = Mode::Idle;
    recording_ = false;
    if (!page_.radio())
        shell_.openFolder(folder_);
    else if (hooks_.setLabtime)
        hooks_.setLabtime(QStringLiteral("00:00:00"));
}

void Recorder::publishPiece(bool force) {
    if (piece_.published)
        return;
    // Published once the container's first audio is on disk: a few seconds in
    // and well past its headers, or at the end whatever it holds.
    if (!force && (piece_.sampleRate <= 0 || piece_.frames < std::int64_t(piece_.sampleRate) * 3 ||
                   QFileInfo(piece_.part).size() < 8192))
        return;
    const QString name = PublishRecording(piece_.part, piece_.path);
    if (name.isEmpty())
        return; // tried again with the next block; at the end the part file is named in the report
    piece_.published = true;
    piece_.path = recordFile_ = name;
}

void Recorder::finishPiece() {
    if (mode_ == Mode::Broadcast) {
        out_.close();
    } else {
        AudioFile_.CloseFile();
        if (AudioFile_.ErrorCode() != 0 && hooks_.reportError)
            hooks_.reportError(
                QStringLiteral("\"%1\" could not be completed: %2").arg(piece_.path, AudioFile_.ErrorText()));
    }
    publishPiece(true);
    if (!piece_.published && hooks_.reportError)
        hooks_.reportError(
            QStringLiteral("The recording could not take the name \"%1\"; it is kept as \"%2\"")
                .arg(piece_.path, piece_.part));
    const QString path = piece_.published ? piece_.path : piece_.part;
    // On the radio page the file is listed and tagged; elsewhere its folder opens at the end.
    if (page_.radio()) {
        if (!page_.recordingsListShown() && hooks_.showRecordingsList)
            hooks_.showRecordingsList();
        QString genre = hooks_.genre ? hooks_.genre() : QString();
        if (genre.isEmpty()) {
            genre = QStringLiteral("Other");
            if (hooks_.setGenre)
                hooks_.setGenre(genre);
        }
        list_.AddRecording(path, genre,
                           text::elapsedText(piece_.sampleRate > 0 ? piece_.frames / piece_.sampleRate : 0));
        try {
            AudioInformation tags;
            tags.setInfoTitle(split_ ? piece_.title : stationTitle());
            tags.setInfoGenreS(genre);
            tags.SaveInfo(path, true);
        } catch (const std::exception &e) {
            if (hooks_.reportError)
                hooks_.reportError(QString::fromUtf8(e.what()));
        }
        list_.selectRow(list_.rowCount() - 1);
    }
    Q_EMIT fileFinished(path);
}

void Recorder::AudioRecord1Timer(qint64 CurrentSamples) {
    showTime(AudioRecord1_.SamplesToMilliseconds(CurrentSamples));
}

void Recorder::showTime(std::int64_t milliseconds) {
    recordedMs_ = milliseconds;
    recordTime_ = text::elapsedText(milliseconds / 1000);
    if (hooks_.setLabtime)
        hooks_.setLabtime(QStringLiteral("R:") + recordTime_);
}

} // namespace varnelo
