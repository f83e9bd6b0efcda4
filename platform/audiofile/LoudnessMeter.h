#pragma once
#include "platform/sound/AudioTypes.h"

#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace varnelo {

// Integrated loudness (EBU R128) and sample peak of the audio given to add(),
// measured as it passes, for ReplayGain 2.0 tags. add() hands a copy to the
// meter's own thread and returns; the results wait for what it still holds.
// One thread at a time uses a meter.
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
    // Measures the whole of a file as the program's decoder gives it, after
    // start() with the file's format. `goOn` is asked between blocks of a
    // fraction of a second and stops the measuring when it returns false.
    // False, with *error set, when the file cannot be decoded to its end or
    // was stopped; *codec names the decoder used.
    bool measureFile(const QString &path, const std::function<bool()> &goOn, QString *error, QString *codec);
    // The loudness of all the meters' audio gated together, as one album.
    static double albumLoudness(const std::vector<const LoudnessMeter *> &meters);

    // ReplayGain 2.0 reference level.
    static constexpr double ReferenceLufs = -18.0;

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace varnelo
