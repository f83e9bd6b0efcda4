#pragma once
#include "platform/sound/AudioTypes.h"
#include "platform/sound/SoundOutput.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <deque>
#include <memory>

namespace varnelo {

// The player component (TAudioPlayer2): plays queued arrays of interleaved
// 32-bit samples through one channel of the sound output, gaplessly, and asks
// for more as it goes. Lives on the GUI thread; every signal is emitted there.
//
// Units: "samples" are frames (one sample per channel), like the file
// component's Length, so CurrentSamples counts against Length directly.
class AudioPlayer : public QObject {
    Q_OBJECT
public:
    // The output must outlive the player.
    explicit AudioPlayer(SoundOutput &output, QObject *parent = nullptr);
    ~AudioPlayer() override;

    // Format of the arrays to come. Starts a new stream: what is still queued
    // from the last one is dropped, so a new track or a seek never begins with
    // the tail of what played before. Rates 1000..384000, channels 1..8.
    void SetPlayFormat(int sampleRate, int channels);
    // Frames for `milliseconds` of sound at the play format, rounded.
    qint64 MillisecondsToSamples(qint64 milliseconds) const;
    // Starts, or resumes, output of the queued arrays. CurrentSamples counts
    // from here.
    void Start();
    // Stops output; the queue is kept, so Start resumes where it stopped.
    void Stop();
    // Queues one array in the play format. Empty arrays are ignored; a
    // trailing partial frame is dropped.
    void QueueSamples(const SampleBlock &samples);
    // Marks the end of what is queued so far as the start of the next track:
    // its arrays follow without a break, and OnTrackBoundary says when it is heard.
    void MarkTrackBoundary();

    bool IsPlaying() const { return m_playing; }
    SoundFormat PlayFormat() const { return m_format; }
    // Frames queued and not yet played.
    qint64 QueuedSamples() const;

    // How often the player looks at the channel, and reports progress.
    static constexpr int TickMs = 20;
    static constexpr int TimerMs = 100;

Q_SIGNALS:
    // An array has been played to its end.
    void OnEndArrayPlay();
    // About every 100 ms while playing: frames played since the last Start and
    // the peaks since the last report (0..32767).
    void OnTimer(qint64 CurrentSamples, int LevelLeft, int LevelRight);
    // Less than about two arrays (at least a second) are left: queue more.
    void OnRequestOnLoadArray();
    // Everything queued has been played and no more came.
    void OnEndPlay();
    // The output reached a MarkTrackBoundary: CurrentSamples (as OnTimer
    // counts them) at which the next track's first frame played.
    void OnTrackBoundary(qint64 CurrentSamples);

private:
    void tick();
    void ensureChannel();
    void pushPending();
    qint64 pendingFrames() const;
    qint64 lowWater() const;

    SoundOutput &m_output;
    SoundFormat m_format;
    std::shared_ptr<SoundChannel> m_channel;
    // Converted arrays waiting for room in the channel; m_pendingOffset is how
    // much of the front one the channel already took.
    std::deque<std::vector<float>> m_pending;
    std::size_t m_pendingOffset = 0;
    // Where each unfinished array ends, counted in the channel's frames.
    std::deque<qint64> m_arrayEnds;
    // Track starts, in the same count.
    std::deque<qint64> m_boundaries;
    qint64 m_queuedTotal = 0;
    qint64 m_lastArrayFrames = 0;
    qint64 m_playedAtStart = 0;
    bool m_playing = false;
    // A new stream: pending signals of the old one are not delivered.
    quint64 m_generation = 0;
    // Requests wait for an answer (data or 200 ms) before the next.
    bool m_requestArmed = true;
    QElapsedTimer m_sinceRequest;
    // The end is reported once per stretch of data, one tick after an
    // unanswered request, so a caller gets a chance to feed.
    bool m_endArmed = true;
    bool m_requestUnanswered = false;
    int m_ticksSinceRequest = 0;
    qint64 m_writtenTotal = 0;
    QTimer m_tick;
    QElapsedTimer m_sinceTimer;
};

} // namespace varnelo
