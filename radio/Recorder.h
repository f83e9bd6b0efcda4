#pragma once
#include "platform/audiofile/AudioFile.h"
#include "platform/audiofile/AudioFile2LameEnc.h"
#include "platform/sound/AudioTypes.h"

#include <QFile>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

namespace varnelo {

class ShownPage;
class AudioRecord;
class Clock;
class DesktopShell;
class RecordingsList;
class StreamLibrary;

// The recording formats, in the order of the options' list: 0 MP3, 1 WAV,
// 2 WMA, 3 OGG, 4 FLAC, 5 Opus.
constexpr int RecordingFormatCount = 6;

// What the recorder reads and writes around it: the window's controls, or the
// command line's stand-ins. Every member may be left empty.
struct RecorderHooks {
    // Live settings, read when a recording starts.
    std::function<int()> format;           // a recording format (above); -1 none chosen
    std::function<int()> naming;           // 0 from the station's title, 1 from its genre, 2 date and time
    std::function<QString()> outputFolder; // ends in a separator
    std::function<bool()> splitByTitle;
    std::function<bool()> asBroadcast;
    // Nobody listens (the command line, with the station's channel inaudible):
    // a re-encoded recording takes the station's sound as it is decoded, with
    // no mixer between.
    std::function<bool()> unheard;
    // Sets the file component up for a format as the converter does and gives
    // the extension (ConfigureEncoder; the OGG recording format may already be
    // on the file).
    std::function<QString(int kind, AudioFile &file, AudioFile2LameEnc &encoder)> configureEncoder;
    // The station panel: status text (the current title) and genre.
    std::function<QString()> title;
    std::function<void(const QString &)> setTitle;
    std::function<QString()> genre;
    std::function<void(const QString &)> setGenre;
    // The skin's time text, redrawn.
    std::function<void(const QString &)> setLabtime;
    // Uncovers the recordings list.
    std::function<void()> showRecordingsList;
    // The station player: whether a station is connected, and its stream (the
    // last one created; 0 before any).
    std::function<bool()> stationPlaying;
    std::function<std::uint32_t()> streamHandle;
    std::function<bool()> cdPlaying;
    // The file-name cell of the CD row being played, empty when none.
    std::function<QString()> cdTrackName;
    std::function<void(const QString &message)> reportError;
};

// Recording: captures what the program plays (or a capture device) through the
// recorder component and writes it, 200 ms block by block, through a file
// component in the chosen format, or writes the playing station's own frames
// unchanged ("as broadcast"). Names the files after the title, the genre or
// the time, never overwrites one, starts a new file at each new title when
// asked, tags each finished file and lists it. Lives on the GUI thread.
class Recorder : public QObject {
    Q_OBJECT
public:
    Recorder(const ShownPage &page, AudioRecord &recorder, StreamLibrary &streams, Clock &clock,
             DesktopShell &shell, RecordingsList &list, RecorderHooks hooks, QObject *parent = nullptr);
    ~Recorder() override;

    void StartRecording();
    void StopRecording();
    // StopRadioOrRecording's half: true when a recording ran and was stopped.
    bool StopRecordingIfRunning();

    // AudioRecord1's events.
    void AudioRecord1EndArrayRecord();
    void AudioRecord1Timer(qint64 CurrentSamples);

    // The recording file component; the options' OGG recording format goes to it.
    AudioFile &file() { return AudioFile_; }
    // Whether the running recording writes the station's own frames.
    bool recordingAsBroadcast() const { return mode_ == Mode::Broadcast; }
    bool recording() const { return recording_; }
    // The file the running (or last) recording writes, and its time as shown.
    const QString &recordFile() const { return recordFile_; }
    const QString &recordTime() const { return recordTime_; }
    // Audio recorded so far by the running recording, as its clock shows it.
    std::int64_t recordedMilliseconds() const { return recordedMs_; }

Q_SIGNALS:
    // A file of the recording is complete: closed and tagged.
    void fileFinished(const QString &path);

private:
    enum class Mode { Idle, Encoded, Broadcast };
    struct Piece {
        QString path;            // the name it has, or is to have once it holds audio
        QString part;            // the hidden name it is written under until then
        bool published = false;  // under `path` now
        QString title;           // the title it is named and tagged after (split by title)
        std::int64_t frames = 0; // samples per channel written
        int sampleRate = 0;
        bool started = false; // broadcast: the first frame (after Ogg headers) is written
        bool bySplit = false; // began at a title change (not at the start of the recording)
    };
    struct Inbox; // what the stream's thread leaves for the GUI thread

    QString stationTitle() const;
    bool stationPlaying() const { return hooks_.stationPlaying && hooks_.stationPlaying(); }
    std::uint32_t streamHandle() const { return hooks_.streamHandle ? hooks_.streamHandle() : 0; }
    QString baseName(bool titleNamed, const QString &title);
    bool openPiece(const QString &base, const QString &title);
    void finishPiece();
    // Gives the piece its name once it holds audio (`force`: now, at its end).
    void publishPiece(bool force);
    bool startCapture();
    bool chooseBroadcast(int kind) const;
    void failRecording(const QString &message);
    void attachStream();
    void detachStream();
    bool stationChanged() const;
    void switchStation();
    bool writeBlock(const Sample *samples, std::size_t count);
    void writeWhole(const SampleBlock &block);
    void writeFailed(const QString &why);
    bool splitPiece(const QString &title);
    void drainBroadcast();
    bool writeFrameBytes(const QByteArray &bytes);
    void showTime(std::int64_t milliseconds);

    const ShownPage &page_;
    AudioRecord &AudioRecord1_;
    StreamLibrary &streams_;
    Clock &clock_;
    DesktopShell &shell_;
    RecordingsList &list_;
    RecorderHooks hooks_;
    AudioFile AudioFile_;
    AudioFile2LameEnc encoder_;
    QString extension_;
    QString folder_;
    Mode mode_ = Mode::Idle;
    bool recording_ = false;
    QString recordFile_;
    QString recordTime_;
    int kind_ = 0;
    bool split_ = false;
    bool writeFailed_ = false;
    Piece piece_;
    std::int64_t blockFramesWritten_ = 0; // record frames the encoded path has taken
    std::int64_t recordedMs_ = 0;
    // The station the taps are on, and what they left.
    std::uint32_t tapHandle_ = 0;
    int tapId_ = 0;
    std::shared_ptr<Inbox> inbox_;
    struct Mark {
        QString title;
        std::uint64_t channelFrame;
    };
    std::deque<Mark> marks_;
    // Unheard: takes the station's decoded sound into the recording.
    std::function<void(const float *frames, std::size_t count)> stationFeed_;
    // As broadcast.
    QFile out_;
    QTimer drain_;
    std::vector<QByteArray> headers_; // the current Ogg link's header pages
    bool inHeaders_ = false;
    double broadcastMs_ = 0; // of the whole recording
};

} // namespace varnelo
