#pragma once
#include "common/Player.h"
#include "platform/stream/StreamLibrary.h"
#include "radio/StreamTitle.h"

#include <QString>

namespace varnelo {

// Plays one stream address without the station list: the command line's
// radio. The connect blocks the calling thread until audio comes or `cancel`
// says so (the window's player connects on a worker instead); what the
// stream's thread reports comes back to the tuner's thread as queued calls.
class StreamTuner : public Player {
    Q_OBJECT
public:
    StreamTuner(StreamLibrary &library, QString url, StreamLibrary::CancelCheck cancel,
                QObject *parent = nullptr);
    ~StreamTuner() override;

    NowPlaying nowPlaying() const override { return now_; }
    qint64 positionMs() const override { return 0; }
    const IcyStationInfo &station() const { return station_; }
    // Why the connect failed (Cancelled when `cancel` ended it).
    StreamError connectError() const { return connectError_; }

    void play() override;
    void pause() override;
    void playPause() override;
    void stop() override;
    void next() override {}
    void previous() override {}
    void seek(qint64) override {}
    void setVolume(int percent) override;

Q_SIGNALS:
    // A note from the stream ("Reconnecting in 2 s", "Reconnected").
    void status(const QString &text);
    // The connect failed or the stream gave up; the tuner has stopped.
    void failed(const QString &reason);

private:
    void connectAndPlay();
    void release();

    StreamLibrary &library_;
    QString url_;
    StreamLibrary::CancelCheck cancel_;
    StreamLibrary::Handle handle_ = 0;
    StreamError connectError_ = StreamError::Ok;
    IcyStationInfo station_;
    NowPlaying now_;
};

} // namespace varnelo
