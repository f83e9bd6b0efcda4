#include "radio/StationConnector.h"

#include "common/Seams.h"
#include "platform/stream/StreamLibrary.h"
#include "radio/StreamTitle.h"

#include <atomic>

namespace varnelo {

StationConnector::StationConnector(StreamLibrary &library, QObject *parent)
    : QObject(parent), library_(library),
      events_(new StreamEvents, [](StreamEvents *e) { e->deleteLater(); }) {
    connect(events_.get(), &StreamEvents::title, this, &StationConnector::title);
    connect(events_.get(), &StreamEvents::status, this, &StationConnector::streamStatus);
}

StationConnector::~StationConnector() {
    cancel();
    wait();
}

void StationConnector::cancel() {
    cancel_ = true;
}

bool StationConnector::busy() const {
    return running_.load();
}

void StationConnector::wait() {
    if (worker_.joinable())
        worker_.join();
}

bool StationConnector::start(const QString &address, Handle previous) {
    // The caller learns of the end through finished(); the thread itself may
    // still be returning then, so join it rather than refuse the new start.
    wait();
    cancel_ = false;
    running_ = true;
    worker_ = std::thread([this, address, previous] {
        run(address, previous);
        running_ = false;
    });
    return true;
}

void StationConnector::run(const QString &address, Handle previous) {
    library_.StreamFree(previous);
    Q_EMIT connecting();

    // Reports from the stream's own thread may come after this connector is
    // gone: they go through the shared event carrier.
    std::shared_ptr<StreamEvents> events = events_;
    auto created = std::make_shared<std::atomic<Handle>>(0);
    Handle handle = library_.StreamCreateURL(
        address,
        [events, created](StreamStatus status, const QString &text) {
            if (const Handle h = created->load(); h != 0)
                Q_EMIT events->status(h, status == StreamStatus::Failed, text);
        },
        [this] { return cancel_.load(); });
    if (handle != 0 && cancel_) {
        library_.StreamFree(handle); // connected just as the stop came
        handle = 0;
    }
    created->store(handle);
    Q_EMIT streamCreated(handle);
    if (handle == 0 && cancel_) {
        Q_EMIT cancelled();
        Q_EMIT finished();
        return;
    }

    if (handle != 0) {
        if (const auto lines = library_.IcyTags(handle)) {
            const IcyStationInfo info = MapIcyHeaders(*lines);
            Q_EMIT headers(info.name, info.genre, info.url);
        }
        if (const auto t = ParseStreamTitle(library_.MetaTag(handle)))
            Q_EMIT title(handle, *t);
        library_.ChannelSetSync(handle, [events, handle](const QString &metadata) {
            if (const auto t = ParseStreamTitle(metadata))
                Q_EMIT events->title(handle, *t);
        });
        library_.ChannelPlay(handle);
        Q_EMIT playing(handle);
    } else {
        const int code = static_cast<int>(StreamLibrary::ErrorGetCode());
        const QString reason = StreamLibrary::ErrorText();
        Q_EMIT failed(code, reason);
    }
    Q_EMIT finished();
}

} // namespace varnelo
