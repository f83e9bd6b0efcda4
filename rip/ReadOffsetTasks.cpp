#include "rip/ReadOffsetTasks.h"

#include "platform/cd/AccurateRipLookup.h"
#include "platform/cd/CdDrive.h"
#include "platform/cd/DriveOffsets.h"
#include "platform/cd/OffsetFinder.h"

namespace varnelo {

namespace {

QString signedText(int offset) {
    return (offset >= 0 ? QStringLiteral("+") : QString()) + QString::number(offset);
}

} // namespace

ReadOffsetTasks::ReadOffsetTasks(QObject *parent)
    : QObject(parent), lookup_(std::make_unique<cd::AccurateRipLookup>()) {}

ReadOffsetTasks::~ReadOffsetTasks() {
    stop();
    join();
}

void ReadOffsetTasks::stop() {
    abort_ = true;
    lookup_->Cancel();
}

void ReadOffsetTasks::join() {
    if (worker_.joinable())
        worker_.join();
}

void ReadOffsetTasks::find(const QString &device, cd::ReadMode mode, const QUrl &server, Reply done) {
    if (busy_) {
        done(std::nullopt, tr("A search of the read offset is already under way."));
        return;
    }
    const cd::DiscRead disc = cd::readDisc(device);
    if (disc.state != cd::DiscState::Ready) {
        done(std::nullopt, disc.error.isEmpty() ? tr("There is no disc to read.") : disc.error);
        return;
    }
    busy_ = true;
    abort_ = false;
    lookup_->server = server;
    disconnect(lookup_.get(), nullptr, this, nullptr);
    connect(lookup_.get(), &cd::AccurateRipLookup::finished, this, [this, device, mode, done] {
        if (!lookup_->error().isEmpty() || lookup_->pressings().empty()) {
            busy_ = false;
            done(std::nullopt, lookup_->error().isEmpty()
                                   ? tr("The disc is not in the AccurateRip database: its offset cannot be "
                                        "found from it.")
                                   : tr("AccurateRip: %1").arg(lookup_->error()));
            return;
        }
        search(device, mode, done);
    });
    lookup_->Fetch(disc.toc);
}

void ReadOffsetTasks::search(const QString &device, cd::ReadMode mode, Reply done) {
    join();
    const auto pressings = lookup_->pressings();
    worker_ = std::thread([this, device, mode, pressings, done] {
        const cd::OffsetSearch found = cd::findReadOffset(device, mode, pressings, &abort_);
        std::optional<int> offset;
        QString message;
        if (!found.error.isEmpty()) {
            message = found.error;
        } else if (!found.match) {
            message = tr("No read offset within ±%1 samples matches the database's %2 records.")
                          .arg(cd::OffsetSearchRange)
                          .arg(pressings.size());
        } else {
            offset = found.match->offset;
            message = tr("Offset %1: %2 of %3 tracks match (confidence %4).")
                          .arg(signedText(found.match->offset))
                          .arg(found.match->tracks)
                          .arg(found.audioTracks)
                          .arg(found.match->confidence);
        }
        // The object outlives the thread (its destructor joins it).
        QMetaObject::invokeMethod(
            this,
            [this, offset, message, done] {
                busy_ = false;
                done(offset, message);
            },
            Qt::QueuedConnection);
    });
}

void ReadOffsetTasks::lookUp(const QString &vendor, const QString &model, const QString &listPath,
                             const QUrl &server, Reply done) {
    if (busy_) {
        done(std::nullopt, tr("A search of the read offset is already under way."));
        return;
    }
    busy_ = true;
    cd::loadDriveOffsets(
        listPath, server, false, this, [this, vendor, model, done](const cd::DriveOffsetList &l) {
            busy_ = false;
            if (!l.error.isEmpty()) {
                done(std::nullopt, l.error);
                return;
            }
            const auto found = cd::findDriveOffset(l.records, vendor, model);
            if (!found) {
                done(std::nullopt, tr("%1 is not in AccurateRip's drive list: Find reads it from a disc the "
                                      "database knows.")
                                       .arg(cd::driveOffsetKey(vendor, model)));
                return;
            }
            done(found->offset, tr("Offset %1 in AccurateRip's drive list (%2, %3 submissions).")
                                    .arg(signedText(found->offset), found->name)
                                    .arg(found->submissions));
        });
}

} // namespace varnelo
