#pragma once
#include "platform/sound/AudioTypes.h"
#include "platform/sound/SoundOutput.h"

#include <QAudioDevice>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

namespace varnelo {

class CaptureBuffer;
class CaptureSource;
struct MonitorSource;

// The recorder component (TAudioRecord2). Device 0 is "Program output", a
// bit-exact loopback of what the sound output mixes (before the master
// volume); devices 1.. are the system's capture devices, then the sound
// server's monitor sources (what its outputs play). Each device has one
// input. Lives on the GUI thread; every signal is emitted there.
//
// Units: "samples" are frames (one sample per channel) of the record format;
// a recorded block holds frames x channels interleaved 32-bit samples.
class AudioRecord : public QObject {
    Q_OBJECT
public:
    // Values of GetRecordError.
    enum RecordError {
        NoError = 0,
        ErrNoDevice = 1, // the selected device index does not exist
        ErrOpen = 2,     // the device could not be opened
        ErrFormat = 3,   // the record format is not usable
    };
    static constexpr int MaxInputVolume = 65535;
    static constexpr int ProgramOutputDevice = 0;

    // The output must outlive the recorder.
    explicit AudioRecord(SoundOutput &output, QObject *parent = nullptr);
    ~AudioRecord() override;

    // Devices 0..GetMaxDeviceIndex(); the system's list is read again here.
    int GetMaxDeviceIndex();
    // Name of the selected device; empty when the index does not exist.
    QString GetDeviceName() const;
    // Takes effect at the next StartRecord.
    void SetDevice(int index);
    int GetDevice() const { return m_device; }

    // Inputs of the selected device (one, or none for a missing device), 1-based.
    int GetInputCount() const;
    QString GetInputName() const;
    void SetInput(int input);
    // Level of the selected input, 0..MaxInputVolume (larger values count as the
    // maximum). On "Program output" a gain, unity at the maximum; on a system
    // device its capture volume. Applied at once while recording.
    int GetInputVolume() const;
    void SetInputVolume(int volume);
    // With one input per device, the device's input is always the active one.
    bool GetInputSelected() const;
    void SetInputSelected(bool selected);

    // Format of the blocks to record: 1000..384000 Hz, 1..8 channels.
    void SetRecordFormat(int sampleRate, int channels);
    SoundFormat RecordFormat() const { return m_format; }
    // Frames per block; values below 1 give 200 ms, at most 10 s.
    void SetBlockSamples(qint64 frames);
    qint64 BlockSamples() const { return m_blockFrames; }
    qint64 MillisecondsToSamples(qint64 milliseconds) const;
    qint64 SamplesToMilliseconds(qint64 frames) const;

    // Begins capturing; GetRecordError() then tells whether it started.
    void StartRecord();
    // Records sound the program hands over itself instead of a device's (a
    // station decoded for the recording alone, with no mixer between): stereo
    // float at SoundOutput::MixRate, pushed from any thread through the returned
    // function until StopRecord, which it drops after. Empty, with
    // GetRecordError() set, when the recording could not start.
    using Feed = std::function<void(const float *frames, std::size_t count)>;
    Feed StartFeedRecord();
    // Ends capturing. What was captured since the last full block is handed
    // out before this returns (OnEndArrayRecord), so nothing is lost.
    void StopRecord();
    bool IsRecording() const { return m_source != nullptr; }
    // The oldest block not yet taken; empty when there is none. Up to 50
    // untaken blocks are kept, the oldest dropped beyond that.
    SampleBlock GetRecordedBlock();
    // Frames captured since StartRecord, the block still filling included.
    qint64 RecordedSamples() const;
    int GetRecordError() const { return m_error; }
    QString GetRecordErrorText() const { return m_errorText; }

    // A time shown in seconds and a level meter need no more; fewer wake-ups
    // keep a long recording cheap.
    static constexpr int TimerMs = 250;

Q_SIGNALS:
    // A block is ready for GetRecordedBlock; nBlock counts from 1 at each StartRecord.
    void OnEndArrayRecord(int nBlock);
    // About every TimerMs while recording: frames recorded since StartRecord and
    // the peaks since the last report (0..32767).
    void OnTimer(qint64 CurrentSamples, int LevelLeft, int LevelRight);

private:
    bool deviceExists(int index) const;
    // The part of a start common to every source; false when the format is unusable.
    bool prepareRecord();
    bool startSource();
    void refreshDevices();
    void announceBlocks();
    void reportProgress();
    void fail(RecordError error, const QString &text);

    SoundOutput &m_output;
    QList<QAudioDevice> m_systemDevices;
    std::vector<MonitorSource> m_monitors;
    bool m_devicesListed = false;
    int m_device = ProgramOutputDevice;
    int m_recordingDevice = ProgramOutputDevice;
    int m_input = 1;
    std::vector<int> m_volumes; // per device index
    SoundFormat m_format;
    qint64 m_blockFrames;
    int m_error = NoError;
    QString m_errorText;
    std::shared_ptr<CaptureBuffer> m_buffer;
    std::unique_ptr<CaptureSource> m_source;
    int m_announced = 0;
    QTimer m_timer;
};

} // namespace varnelo
