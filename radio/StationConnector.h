#pragma once
#include <QObject>
#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

namespace varnelo {

class StreamLibrary;

// Carries what a stream's own thread reports (titles, reconnects). The stream
// callbacks keep it alive through a shared pointer, so they never reach a
// destroyed connector; it is deleted on its own thread.
class StreamEvents : public QObject {
    Q_OBJECT
Q_SIGNALS:
    void title(std::uint32_t handle, const QString &title);
    void status(std::uint32_t handle, bool gaveUp, const QString &text);
};

// The connect worker: one blocking connection at a time on a thread of its own.
// It frees the previous stream, connects, reads the station's headers and the
// current title, installs the metadata callback and starts playing. Everything
// it learns is reported through signals in the order of the steps; they reach
// receivers on the GUI thread queued, so no widget or state is touched here.
class StationConnector : public QObject {
    Q_OBJECT
public:
    using Handle = std::uint32_t;

    StationConnector(StreamLibrary &library, QObject *parent = nullptr);
    ~StationConnector() override;

    // Starts a worker for `address`; a worker that already reported finished()
    // is joined first. Callers start one only after the last one finished.
    bool start(const QString &address, Handle previous);
    bool busy() const;
    // Ends a running connect within a second; it then reports cancelled(), not failed().
    // Safe from any thread.
    void cancel();
    // Waits for a running worker to end.
    void wait();

Q_SIGNALS:
    void connecting();
    void streamCreated(std::uint32_t handle);
    // The station's header fields, taken exactly as the server sent them.
    void headers(const QString &name, const QString &genre, const QString &url);
    // A new title: at connect time from the current metadata, later from the
    // metadata callback of `handle`.
    void title(std::uint32_t handle, const QString &title);
    void playing(std::uint32_t handle);
    // reason says what went wrong, in the stream library's words.
    void failed(int errorCode, const QString &reason);
    // The connect was ended by cancel(); no stream is left.
    void cancelled();
    // The stream of `handle` reconnects (text says which attempt) or gave up.
    void streamStatus(std::uint32_t handle, bool gaveUp, const QString &text);
    // Always the last signal of a worker.
    void finished();

private:
    void run(const QString &address, Handle previous);

    StreamLibrary &library_;
    std::shared_ptr<StreamEvents> events_;
    std::thread worker_;
    std::atomic<bool> running_{false};
    std::atomic<bool> cancel_{false};
};

} // namespace varnelo
