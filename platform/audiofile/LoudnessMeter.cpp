#include "platform/audiofile/LoudnessMeter.h"

#include "platform/audiofile/AudioDecoder.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <limits>
#include <mutex>
#include <thread>

namespace varnelo {

// The meter's filter is most of the cost, and it needs nothing from the caller
// but the samples: it runs on a thread of its own beside the decoding and
// encoding, on copies of the blocks, a few at most waiting.
struct LoudnessMeter::State {
    static constexpr std::size_t MaxWaiting = 4;

    ebur128_state *s = nullptr;
    unsigned channels = 0;
    // The sample peak, kept here: one pass the compiler vectorises, where the
    // meter's own peak mode costs a fifth of its time again.
    std::int64_t peak = 0;

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<SampleBlock> waiting;
    std::vector<SampleBlock> spare; // blocks measured, kept for their memory
    bool measuring = false;
    bool closing = false;
    std::thread worker;

    ~State() {
        {
            std::lock_guard lock(mutex);
            closing = true;
        }
        changed.notify_all();
        if (worker.joinable())
            worker.join();
        if (s)
            ebur128_destroy(&s);
    }

    void run() {
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait(lock, [this] { return closing || !waiting.empty(); });
            if (closing)
                return;
            SampleBlock block = std::move(waiting.front());
            waiting.pop_front();
            measuring = true;
            lock.unlock();
            const std::size_t frames = block.size() / channels;
            ebur128_add_frames_int(s, block.data(), frames);
            std::int64_t most = peak;
            for (const Sample v : block)
                most = std::max(most, std::abs(std::int64_t(v)));
            lock.lock();
            peak = most;
            measuring = false;
            spare.push_back(std::move(block));
            changed.notify_all();
        }
    }

    void queue(const Sample *interleaved, std::size_t frames) {
        std::unique_lock lock(mutex);
        // The worker always moves on, a block in well under a second.
        changed.wait(lock, [this] { return waiting.size() < MaxWaiting; });
        SampleBlock block;
        if (!spare.empty()) {
            block = std::move(spare.back());
            spare.pop_back();
        }
        block.assign(interleaved, interleaved + frames * channels);
        waiting.push_back(std::move(block));
        changed.notify_all();
    }

    // Until everything given has been measured.
    void settle() {
        std::unique_lock lock(mutex);
        changed.wait(lock, [this] { return waiting.empty() && !measuring; });
    }
};

LoudnessMeter::LoudnessMeter() = default;
LoudnessMeter::~LoudnessMeter() = default;

bool LoudnessMeter::start(int sampleRate, int channels) {
    state_.reset();
    if (sampleRate < 1 || channels < 1 || channels > 64)
        return false;
    auto state = std::make_unique<State>();
    // The histogram keeps memory flat however long the audio runs.
    state->s = ebur128_init(unsigned(channels), static_cast<unsigned long>(sampleRate),
                            EBUR128_MODE_I | EBUR128_MODE_HISTOGRAM);
    state->channels = unsigned(channels);
    if (!state->s)
        return false;
    state->worker = std::thread([s = state.get()] { s->run(); });
    state_ = std::move(state);
    return true;
}

bool LoudnessMeter::started() const {
    return bool(state_);
}

void LoudnessMeter::add(const Sample *interleaved, std::size_t frames) {
    if (!state_ || frames == 0)
        return;
    state_->queue(interleaved, frames);
}

double LoudnessMeter::loudness() const {
    double lufs = -std::numeric_limits<double>::infinity();
    if (state_) {
        state_->settle();
        ebur128_loudness_global(state_->s, &lufs);
    }
    return lufs;
}

double LoudnessMeter::peak() const {
    // As the meter scales integer samples: full scale is 2^31.
    if (!state_)
        return 0.0;
    state_->settle();
    std::lock_guard lock(state_->mutex);
    return double(state_->peak) / 2147483648.0;
}

bool LoudnessMeter::measureFile(const QString &path, const std::function<bool()> &goOn, QString *error,
                                QString *codec) {
    AudioDecoder::Failure failure = AudioDecoder::Failure::None;
    const auto decoder = AudioDecoder::open(path, &failure, error);
    if (!decoder)
        return false;
    *codec = decoder->codecName();
    if (!start(decoder->sampleRate(), decoder->channels())) {
        *error = QStringLiteral("its format (%1 Hz, %2 channels) cannot be measured")
                     .arg(decoder->sampleRate())
                     .arg(decoder->channels());
        return false;
    }
    // A sixteenth of a second at 256 kHz: a stop is seen at once.
    constexpr qint64 BlockFrames = 1 << 14;
    SampleBlock block;
    for (;;) {
        if (goOn && !goOn()) {
            *error = QStringLiteral("stopped");
            return false;
        }
        block.clear();
        const qint64 n = decoder->read(block, BlockFrames);
        if (n <= 0)
            break;
        add(block.data(), std::size_t(n));
    }
    if (decoder->damaged()) {
        *error = decoder->errorText();
        return false;
    }
    return true;
}

double LoudnessMeter::albumLoudness(const std::vector<const LoudnessMeter *> &meters) {
    std::vector<ebur128_state *> states;
    for (const LoudnessMeter *m : meters)
        if (m && m->state_) {
            m->state_->settle();
            states.push_back(m->state_->s);
        }
    double lufs = -std::numeric_limits<double>::infinity();
    if (!states.empty())
        ebur128_loudness_global_multiple(states.data(), states.size(), &lufs);
    return lufs;
}

} // namespace varnelo
