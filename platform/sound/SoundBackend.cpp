#include "platform/sound/SoundBackend.h"
#include "platform/sound/SoundOutput.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QIODevice>
#include <QMediaDevices>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace varnelo {

namespace {

// 441 frames: 10 ms at the mix rate, small enough for a quick pause and
// volume change, large enough to keep the wake-ups cheap.
constexpr std::size_t BlockFrames = SoundOutput::MixRate / 100;
// Nobody hears the silent output: 100 ms blocks keep its wake-ups few (a
// recording from the command line runs on it for hours).
constexpr std::size_t NullBlockFrames = SoundOutput::MixRate / 10;

// What the sound server is asked to hold. The server splits it between its
// own device buffer and the stream's queue and keeps about 300 ms of it
// filled: enough to ride out a machine busy on both cores (a shorter one
// gives audible gaps then). Pause and stop do not wait for it to play out:
// they go through hold() and discard().
constexpr int DeviceBufferMs = 500;

class NullBackend final : public SoundBackend {
public:
    explicit NullBackend(MixSource &source) : m_source(source) {}
    ~NullBackend() override { stop(); }

    QString name() const override { return QStringLiteral("Null output"); }

    bool start() override {
        if (m_thread.joinable())
            return true;
        m_stopping = false;
        m_thread = std::thread([this] { run(); });
        return true;
    }

    void stop() override {
        if (!m_thread.joinable())
            return;
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }

    void wake() override {
        {
            std::lock_guard lock(m_mutex);
            m_woken = true;
        }
        m_wake.notify_all();
    }

private:
    void run() {
        using Clock = std::chrono::steady_clock;
        const auto period = std::chrono::microseconds(1'000'000 * NullBlockFrames / SoundOutput::MixRate);
        // Idle, it looks again now and then all the same: a missed wake costs a second at most.
        constexpr auto IdleLook = std::chrono::seconds(1);
        std::vector<float> block(NullBlockFrames * SoundOutput::MixChannels);
        auto next = Clock::now();
        std::unique_lock lock(m_mutex);
        while (!m_stopping) {
            m_woken = false; // a wake from here on is seen by the wait below
            lock.unlock();
            const bool idle = m_source.idle();
            if (!idle)
                m_source.mix(block.data(), NullBlockFrames);
            lock.lock();
            if (idle) {
                // Nothing plays: no silence to pace, no wake-ups (a command-line
                // recording that decodes for itself runs beside this for hours).
                m_wake.wait_for(lock, IdleLook, [this] { return m_stopping || m_woken; });
                next = Clock::now();
                continue;
            }
            next += period;
            // After a long stall (a suspended machine, a debugger) carry on from
            // now rather than rushing through the missed time.
            const auto now = Clock::now();
            if (now - next > std::chrono::milliseconds(200))
                next = now;
            m_wake.wait_until(lock, next, [this] { return m_stopping; });
        }
    }

    MixSource &m_source;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    bool m_woken = false;
};

// Pull-mode source for the audio sink: every read is mixed on demand, so the
// device paces the mixer.
class MixDevice final : public QIODevice {
public:
    MixDevice(MixSource &source, QAudioFormat::SampleFormat format) : m_source(source), m_format(format) {}

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override {
        return BlockFrames * frameBytes() + QIODevice::bytesAvailable();
    }

protected:
    qint64 readData(char *data, qint64 maxlen) override {
        const qint64 frames = maxlen / frameBytes();
        qint64 done = 0;
        while (done < frames) {
            const auto n = static_cast<std::size_t>(std::min<qint64>(frames - done, BlockFrames));
            m_block.resize(n * SoundOutput::MixChannels);
            m_source.mix(m_block.data(), n);
            char *out = data + done * frameBytes();
            if (m_format == QAudioFormat::Float) {
                std::copy(m_block.begin(), m_block.end(), reinterpret_cast<float *>(out));
            } else {
                auto *s16 = reinterpret_cast<qint16 *>(out);
                for (std::size_t i = 0; i < m_block.size(); ++i)
                    s16[i] = static_cast<qint16>(std::lround(std::clamp(m_block[i], -1.0f, 1.0f) * 32767.0f));
            }
            done += static_cast<qint64>(n);
        }
        return done * frameBytes();
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    qint64 frameBytes() const { return SoundOutput::MixChannels * (m_format == QAudioFormat::Float ? 4 : 2); }

    MixSource &m_source;
    QAudioFormat::SampleFormat m_format;
    std::vector<float> m_block;
};

// The sink lives on a thread of its own with an event loop: the audio backend
// drives pull mode from timers of the sink's thread, and the GUI thread may be
// busy for long stretches (conversions process events only now and then).
class SystemBackend final : public SoundBackend {
public:
    SystemBackend(MixSource &source, QAudioDevice device, std::function<void()> onLost)
        : m_source(source), m_device(std::move(device)), m_onLost(std::move(onLost)) {
        m_thread.setObjectName(QStringLiteral("Sound output"));
    }
    ~SystemBackend() override { stop(); }

    QString name() const override { return m_device.description(); }

    bool start() override {
        if (m_host)
            return true;
        m_closing = false;
        m_thread.start();
        m_host = new QObject;
        m_host->moveToThread(&m_thread);
        bool ok = false;
        QMetaObject::invokeMethod(
            m_host, [this, &ok] { ok = open(); }, Qt::BlockingQueuedConnection);
        if (!ok)
            stop();
        return ok;
    }

    void stop() override {
        if (!m_host)
            return;
        m_closing = true;
        QMetaObject::invokeMethod(
            m_host, [this] { close(); }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
        delete m_host;
        m_host = nullptr;
    }

    int latencyMs() const override { return m_latencyMs; }

    // Corking the server's stream silences it at once and keeps its queue.
    void hold() override {
        onSinkThread([this] {
            if (m_sink && m_sink->state() != QAudio::SuspendedState &&
                m_sink->state() != QAudio::StoppedState)
                m_sink->suspend();
        });
    }
    void resume() override {
        onSinkThread([this] {
            if (m_sink && m_sink->state() == QAudio::SuspendedState)
                m_sink->resume();
        });
    }
    // The server drops a stream's queue only with the stream: a new one
    // takes over, started now so that it is running when the next sound comes.
    void discard() override {
        onSinkThread([this] {
            if (!m_sink)
                return;
            close();
            // Going away (the last channels close at exit): no new stream.
            if (!m_closing && !open() && m_onLost)
                m_onLost();
        });
    }

private:
    void onSinkThread(std::function<void()> f) {
        if (m_host)
            QMetaObject::invokeMethod(m_host, std::move(f), Qt::QueuedConnection);
    }

    void close() {
        if (m_sink) {
            QObject::disconnect(m_sink.get(), nullptr, m_host, nullptr);
            m_sink->stop();
        }
        m_sink.reset();
        m_io.reset();
    }

    bool open() {
        QAudioFormat format;
        format.setSampleRate(SoundOutput::MixRate);
        format.setChannelCount(SoundOutput::MixChannels);
        format.setSampleFormat(QAudioFormat::Float);
        if (!m_device.isFormatSupported(format))
            format.setSampleFormat(QAudioFormat::Int16);
        if (!m_device.isFormatSupported(format))
            return false;
        m_io = std::make_unique<MixDevice>(m_source, format.sampleFormat());
        m_io->open(QIODevice::ReadOnly);
        m_sink = std::make_unique<QAudioSink>(m_device, format);
        m_sink->setBufferSize(format.bytesForDuration(DeviceBufferMs * 1000));
        m_sink->start(m_io.get());
        m_latencyMs = int(format.durationForBytes(m_sink->bufferSize()) / 1000);
        if (m_sink->error() != QAudio::NoError || m_sink->state() == QAudio::StoppedState) {
            m_sink.reset();
            m_io.reset();
            return false;
        }
        QObject::connect(m_sink.get(), &QAudioSink::stateChanged, m_host, [this](QAudio::State state) {
            if (state == QAudio::StoppedState && m_sink->error() != QAudio::NoError && m_onLost)
                m_onLost();
        });
        return true;
    }

    MixSource &m_source;
    QAudioDevice m_device;
    std::function<void()> m_onLost;
    std::atomic<int> m_latencyMs{0};
    std::atomic<bool> m_closing{false};
    QThread m_thread;
    QObject *m_host = nullptr;
    std::unique_ptr<MixDevice> m_io;
    std::unique_ptr<QAudioSink> m_sink;
};

} // namespace

std::unique_ptr<SoundBackend> createNullBackend(MixSource &source) {
    return std::make_unique<NullBackend>(source);
}

std::unique_ptr<SoundBackend> createSystemBackend(MixSource &source, std::function<void()> onLost) {
    QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull())
        return nullptr;
    return std::make_unique<SystemBackend>(source, std::move(device), std::move(onLost));
}

} // namespace varnelo
