#pragma once
#include "platform/sound/SoundOutput.h"
#include "platform/stream/StreamLibrary.h"
#include "support/IcyServer.h"
#include "support/Tone.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <cmath>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

namespace varnelo::streamtest {

using test::IcyMount;
using test::IcyServer;
using test::Tone;
using test::ToneFormat;

// Generous bound for anything that must happen "soon": the machine is shared
// and sanitizers slow it down. Only a hang reaches it.
constexpr int WaitMs = 30000;

inline bool waitFor(const std::function<bool()> &done, int ms = WaitMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
    return true;
}

// Tones made once per test run, shared by the tests.
inline QByteArray tone(const Tone &tone) {
    static QTemporaryDir folder;
    static std::mutex mutex;
    static std::map<QString, QByteArray> made;
    const QString key = QStringLiteral("%1-%2-%3-%4-%5-%6")
                            .arg(int(tone.format))
                            .arg(tone.frequency)
                            .arg(tone.seconds)
                            .arg(tone.title, tone.artist)
                            .arg(tone.serialOffset);
    std::lock_guard lock(mutex);
    auto it = made.find(key);
    if (it == made.end())
        it = made.emplace(key, test::makeTone(tone, folder.path())).first;
    return it->second;
}

inline IcyMount mp3Mount(int frequency = 440) {
    IcyMount mount;
    mount.audio = tone(Tone{ToneFormat::Mp3, frequency, 6.0});
    return mount;
}

// Options that give up quickly, so failures show within a test's patience.
inline StreamLibrary::Options quickOptions() {
    StreamLibrary::Options options;
    options.connectTimeoutMs = 3000;
    options.readTimeoutMs = 3000;
    options.reconnectDelayMs = 200;
    options.reconnectGiveUpMs = 400; // two attempts: after 0.2 s, then after 0.4 more
    return options;
}

// Everything the mixer puts out (stereo float), as the loopback capture sees it.
class TapRecorder {
public:
    explicit TapRecorder(SoundOutput &output) : output_(output) {
        id_ = output.addTap([this](const float *frames, std::size_t count) {
            std::lock_guard lock(mutex_);
            frames_ += count;
            for (std::size_t i = 0; i < count; ++i) {
                const bool sound = frames[2 * i] != 0.0f || frames[2 * i + 1] != 0.0f;
                soundFrames_ += sound ? 1 : 0;
                if (sound && left_.size() < std::size_t(SoundOutput::MixRate) * 20)
                    left_.push_back(frames[2 * i]);
            }
        });
    }
    ~TapRecorder() { output_.removeTap(id_); }

    // Frames that carried sound so far.
    std::size_t soundFrames() const {
        std::lock_guard lock(mutex_);
        return soundFrames_;
    }
    // Waits until the mixer has handed on `frames` more frames, sound or silence:
    // time as the output counts it, not as a sleep guesses it.
    bool mixed(std::size_t frames) const {
        std::size_t start;
        {
            std::lock_guard lock(mutex_);
            start = frames_;
        }
        return waitFor([&] {
            std::lock_guard lock(mutex_);
            return frames_ >= start + frames;
        });
    }
    // A block being mixed as something changed (and one more) has arrived.
    bool settle() const { return mixed(2 * SoundOutput::MixRate / 100); }

    // The left side of the frames that carried sound.
    std::vector<float> left() const {
        std::lock_guard lock(mutex_);
        return left_;
    }

private:
    SoundOutput &output_;
    int id_ = 0;
    mutable std::mutex mutex_;
    std::size_t soundFrames_ = 0;
    std::size_t frames_ = 0;
    std::vector<float> left_;
};

// Frequency from the upward zero crossings of a stretch of one channel.
inline double measureFrequency(const std::vector<float> &samples, std::size_t from, std::size_t count) {
    const std::size_t end = std::min(samples.size(), from + count);
    return from >= end
               ? 0.0
               : test::zeroCrossingFrequency(samples.data(), from, end - from, 1, 0, SoundOutput::MixRate);
}

// Metadata and status reports as the stream's thread delivers them.
class StreamEvents {
public:
    StreamLibrary::MetaCallback metaCallback() {
        return [this](const QString &text) {
            std::lock_guard lock(mutex_);
            metadata_.push_back(text);
            metaOnMainThread_ =
                metaOnMainThread_ || QThread::currentThread() == QCoreApplication::instance()->thread();
        };
    }
    StreamLibrary::StatusCallback statusCallback() {
        return [this](StreamStatus status, const QString &text) {
            std::lock_guard lock(mutex_);
            statuses_.push_back({status, text});
        };
    }
    std::vector<QString> metadata() const {
        std::lock_guard lock(mutex_);
        return metadata_;
    }
    std::vector<std::pair<StreamStatus, QString>> statuses() const {
        std::lock_guard lock(mutex_);
        return statuses_;
    }
    bool has(StreamStatus status) const {
        std::lock_guard lock(mutex_);
        for (const auto &[s, text] : statuses_)
            if (s == status)
                return true;
        return false;
    }
    bool metaOnMainThread() const {
        std::lock_guard lock(mutex_);
        return metaOnMainThread_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<QString> metadata_;
    std::vector<std::pair<StreamStatus, QString>> statuses_;
    bool metaOnMainThread_ = false;
};

} // namespace varnelo::streamtest
