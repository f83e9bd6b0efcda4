#pragma once
#include "platform/cd/SectorReader.h"

#include <QObject>
#include <QString>
#include <QUrl>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

namespace varnelo {

namespace cd {
class AccurateRipLookup;
}

// The options' "Find" and "Look up" beside the drive's read offset. Lives on
// the window's thread and answers there; the disc is read on a thread of its
// own that touches nothing but its own results.
class ReadOffsetTasks : public QObject {
    Q_OBJECT
public:
    // The offset found (nullopt: none) and what to say of it.
    using Reply = std::function<void(std::optional<int> offset, const QString &message)>;

    explicit ReadOffsetTasks(QObject *parent = nullptr);
    ~ReadOffsetTasks() override; // stops a search within a second and waits for it

    // The offset at which the AccurateRip checksums of the disc in `device`
    // match, from one read of it (the disc is looked up first: one the
    // database does not know is not read).
    void find(const QString &device, cd::ReadMode mode, const QUrl &server, Reply done);
    // The drive's offset in AccurateRip's drive list, kept as `listPath`
    // (fetched from `server` when none is kept).
    void lookUp(const QString &vendor, const QString &model, const QString &listPath, const QUrl &server,
                Reply done);
    bool busy() const { return busy_; }
    void stop();

private:
    void search(const QString &device, cd::ReadMode mode, Reply done);
    void join();

    std::unique_ptr<cd::AccurateRipLookup> lookup_;
    std::atomic<bool> abort_{false};
    std::thread worker_;
    bool busy_ = false;
};

} // namespace varnelo
