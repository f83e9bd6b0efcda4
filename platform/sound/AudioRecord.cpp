#include "platform/sound/AudioRecord.h"
#include "platform/sound/SoundCapture.h"

#include <QMediaDevices>

#include <algorithm>
#include <cmath>

namespace varnelo {

namespace {

constexpr qint64 DefaultBlockMs = 200;
constexpr qint64 MaxBlockMs = 10'000;

int levelOf(float peak) {
    return static_cast<int>(std::lround(std::clamp(peak, 0.0f, 1.0f) * 32767.0f));
}

QString programOutputName() {
    return QStringLiteral("Program output");
}

} // namespace

AudioRecord::AudioRecord(SoundOutput &output, QObject *parent)
    : QObject(parent), m_output(output), m_volumes(1, MaxInputVolume),
      m_blockFrames(MillisecondsToSamples(DefaultBlockMs)) {
    // The system's devices are read when first asked for: a recording of the
    // program's own output (the command line's) never wakes the sound server's
    // client, which complains on a machine without one.
    m_timer.setInterval(TimerMs);
    connect(&m_timer, &QTimer::timeout, this, &AudioRecord::reportProgress);
}

AudioRecord::~AudioRecord() {
    // The source goes first: after its stop() nothing pushes into the buffer.
    m_source.reset();
}

void AudioRecord::refreshDevices() {
    m_devicesListed = true;
    m_systemDevices = QMediaDevices::audioInputs();
    m_monitors = listMonitorSources();
    m_volumes.resize(static_cast<std::size_t>(m_systemDevices.size()) + m_monitors.size() + 1,
                     MaxInputVolume);
}

bool AudioRecord::deviceExists(int index) const {
    return index >= 0 && index <= int(m_systemDevices.size() + qsizetype(m_monitors.size()));
}

int AudioRecord::GetMaxDeviceIndex() {
    if (!IsRecording())
        refreshDevices();
    return int(m_systemDevices.size() + qsizetype(m_monitors.size()));
}

QString AudioRecord::GetDeviceName() const {
    if (m_device == ProgramOutputDevice)
        return programOutputName();
    if (!deviceExists(m_device))
        return {};
    if (m_device <= m_systemDevices.size())
        return m_systemDevices.at(m_device - 1).description();
    return m_monitors.at(std::size_t(m_device - 1 - m_systemDevices.size())).description;
}

void AudioRecord::SetDevice(int index) {
    if (index != ProgramOutputDevice && !m_devicesListed)
        refreshDevices();
    m_device = index;
    m_input = 1;
}

int AudioRecord::GetInputCount() const {
    return deviceExists(m_device) ? 1 : 0;
}

QString AudioRecord::GetInputName() const {
    return m_input == 1 ? GetDeviceName() : QString();
}

void AudioRecord::SetInput(int input) {
    m_input = input;
}

int AudioRecord::GetInputVolume() const {
    if (!deviceExists(m_device) || m_input != 1)
        return 0;
    return m_volumes[static_cast<std::size_t>(m_device)];
}

void AudioRecord::SetInputVolume(int volume) {
    if (!deviceExists(m_device) || m_input != 1)
        return;
    volume = std::clamp(volume, 0, MaxInputVolume);
    m_volumes[static_cast<std::size_t>(m_device)] = volume;
    if (m_source && m_device == m_recordingDevice)
        m_source->setVolume(double(volume) / MaxInputVolume);
}

bool AudioRecord::GetInputSelected() const {
    return deviceExists(m_device) && m_input == 1;
}

void AudioRecord::SetInputSelected(bool) {
    // The only input of a device is always its active one.
}

void AudioRecord::SetRecordFormat(int sampleRate, int channels) {
    m_format = SoundFormat{sampleRate, channels};
}

void AudioRecord::SetBlockSamples(qint64 frames) {
    if (frames < 1)
        frames = MillisecondsToSamples(DefaultBlockMs);
    m_blockFrames = std::clamp<qint64>(frames, 1, std::max<qint64>(1, MillisecondsToSamples(MaxBlockMs)));
}

qint64 AudioRecord::MillisecondsToSamples(qint64 milliseconds) const {
    if (m_format.sampleRate <= 0)
        return 0;
    return static_cast<qint64>(std::llround(double(milliseconds) * m_format.sampleRate / 1000.0));
}

qint64 AudioRecord::SamplesToMilliseconds(qint64 frames) const {
    if (m_format.sampleRate <= 0)
        return 0;
    return static_cast<qint64>(std::llround(double(frames) * 1000.0 / m_format.sampleRate));
}

void AudioRecord::fail(RecordError error, const QString &text) {
    m_error = error;
    m_errorText = text;
    m_source.reset();
    m_buffer.reset();
}

bool AudioRecord::prepareRecord() {
    m_error = NoError;
    m_errorText.clear();
    if (m_format.sampleRate < 1000 || m_format.sampleRate > 384000 || m_format.channels < 1 ||
        m_format.channels > 8) {
        fail(ErrFormat, QStringLiteral("Cannot record %1 Hz with %2 channels")
                            .arg(m_format.sampleRate)
                            .arg(m_format.channels));
        return false;
    }
    // A block size given for another format still holds at most 10 s.
    SetBlockSamples(m_blockFrames);
    m_announced = 0;
    // Finished blocks are announced through the event loop: the loopback
    // pushes from the mixer's thread.
    m_buffer = std::make_shared<CaptureBuffer>(m_format, static_cast<std::size_t>(m_blockFrames), [this] {
        QMetaObject::invokeMethod(this, &AudioRecord::announceBlocks, Qt::QueuedConnection);
    });
    return true;
}

bool AudioRecord::startSource() {
    m_source->setVolume(double(m_volumes[static_cast<std::size_t>(m_recordingDevice)]) / MaxInputVolume);
    const QString problem = m_source->start();
    if (!problem.isEmpty()) {
        fail(ErrOpen, problem);
        return false;
    }
    m_timer.start();
    return true;
}

void AudioRecord::StartRecord() {
    if (IsRecording())
        return;
    if (!deviceExists(m_device)) {
        fail(ErrNoDevice, QStringLiteral("There is no recording device %1").arg(m_device));
        return;
    }
    if (!prepareRecord())
        return;
    m_recordingDevice = m_device;
    if (m_device == ProgramOutputDevice)
        m_source = createLoopbackCapture(m_output, m_buffer);
    else if (m_device <= m_systemDevices.size())
        m_source = createSystemCapture(m_systemDevices.at(m_device - 1), m_format, m_buffer);
    else
        m_source = createMonitorCapture(m_monitors.at(std::size_t(m_device - 1 - m_systemDevices.size())),
                                        m_format, m_buffer);
    startSource();
}

AudioRecord::Feed AudioRecord::StartFeedRecord() {
    if (IsRecording() || !prepareRecord())
        return {};
    // The program's own sound: as "Program output", at its level.
    m_recordingDevice = ProgramOutputDevice;
    Feed feed;
    m_source = createFeedCapture(m_buffer, &feed);
    return startSource() ? feed : Feed();
}

void AudioRecord::StopRecord() {
    if (!IsRecording())
        return;
    m_timer.stop();
    m_source->stop();
    m_source.reset();
    m_buffer->finish();
    reportProgress();
    announceBlocks();
}

qint64 AudioRecord::RecordedSamples() const {
    return m_buffer ? m_buffer->frames() : 0;
}

SampleBlock AudioRecord::GetRecordedBlock() {
    return m_buffer ? m_buffer->take() : SampleBlock();
}

void AudioRecord::announceBlocks() {
    if (!m_buffer)
        return;
    // A handler may stop and start again; the count belongs to one buffer.
    const auto buffer = m_buffer;
    while (buffer == m_buffer && m_announced < buffer->blocksMade())
        Q_EMIT OnEndArrayRecord(++m_announced);
}

void AudioRecord::reportProgress() {
    if (!m_buffer)
        return;
    const SoundLevels peaks = m_buffer->takePeaks();
    Q_EMIT OnTimer(m_buffer->frames(), levelOf(peaks.left), levelOf(peaks.right));
}

} // namespace varnelo
