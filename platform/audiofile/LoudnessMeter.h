#pragma once
#include "platform/sound/AudioTypes.h"

#include <memory>
#include <vector>

namespace varnelo {

// Integrated loudness (EBU R128) and sample peak of the audio given to add(),
// measured as it passes, for ReplayGain 2.0 tags.
class LoudnessMeter {
public:
    LoudnessMeter();
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter &) = delete;
    LoudnessMeter &operator=(const LoudnessMeter &) = delete;

    // Starts over for audio of this format; false when libebur128 refuses it.
    bool start(int sampleRate, int channels);
    void add(const Sample *interleaved, std::size_t frames);
    bool started() const;
    // LUFS; -infinity when nothing above the gate was heard.
    double loudness() const;
    // Largest sample, 1.0 = full scale.
    double peak() const;
    // The loudness of all the meters' audio gated together, as one album.
    static double albumLoudness(const std::vector<const LoudnessMeter *> &meters);

    // ReplayGain 2.0 reference level.
    static constexpr double ReferenceLufs = -18.0;

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace varnelo
