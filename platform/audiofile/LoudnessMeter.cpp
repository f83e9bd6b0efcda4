#include "platform/audiofile/LoudnessMeter.h"

#include "platform/audiofile/AudioDecoder.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace varnelo {

struct LoudnessMeter::State {
    ebur128_state *s = nullptr;
    unsigned channels = 0;
    // The sample peak, kept here: one pass the compiler vectorises, where the
    // meter's own peak mode costs a fifth of its time again.
    std::int64_t peak = 0;
    ~State() {
        if (s)
            ebur128_destroy(&s);
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
    if (state->s)
        state_ = std::move(state);
    return started();
}

bool LoudnessMeter::started() const {
    return bool(state_);
}

void LoudnessMeter::add(const Sample *interleaved, std::size_t frames) {
    if (!state_ || frames == 0)
        return;
    ebur128_add_frames_int(state_->s, interleaved, frames);
    std::int64_t most = state_->peak;
    for (std::size_t i = 0, n = frames * state_->channels; i < n; ++i)
        most = std::max(most, std::abs(std::int64_t(interleaved[i])));
    state_->peak = most;
}

double LoudnessMeter::loudness() const {
    double lufs = -std::numeric_limits<double>::infinity();
    if (state_)
        ebur128_loudness_global(state_->s, &lufs);
    return lufs;
}

double LoudnessMeter::peak() const {
    // As the meter scales integer samples: full scale is 2^31.
    return state_ ? double(state_->peak) / 2147483648.0 : 0.0;
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
        if (m && m->state_)
            states.push_back(m->state_->s);
    double lufs = -std::numeric_limits<double>::infinity();
    if (!states.empty())
        ebur128_loudness_global_multiple(states.data(), states.size(), &lufs);
    return lufs;
}

} // namespace varnelo
