#pragma once
#include "platform/cd/DiscToc.h"

#include <QString>
#include <QTemporaryDir>
#include <memory>
#include <vector>

typedef struct _CdIo CdIo_t;

namespace varnelo::cd {

struct DiscSheet;

// A drive of the system, or a disc image (.cue/.bin or .toc/.bin) that stands
// in for one.
struct DriveInfo {
    QString device; // /dev/sr0, or the image's path
    QString vendor;
    QString product;
    QString revision;
    bool image = false;
};

// The optical drives libcdio finds, with what they say of themselves.
std::vector<DriveInfo> systemDrives();
// True for a path that names a cue sheet or a cdrdao table of contents.
bool isDiscImagePath(const QString &path);
DriveInfo imageDrive(const QString &path);

enum class DiscState { NoDisc, Ready, Unrecognised };

// An open disc: a drive with a disc in it, or an image. Owns the libcdio
// handle (for an image, one on a stand-in made from the sheet we read). One
// thread at a time.
class DiscHandle {
public:
    ~DiscHandle();
    DiscHandle(const DiscHandle &) = delete;
    DiscHandle &operator=(const DiscHandle &) = delete;

    // Opens `device`; on failure `state` says whether there is no disc or
    // one that cannot be read, and `error` why.
    static std::unique_ptr<DiscHandle> open(const QString &device, DiscState &state, QString &error);

    CdIo_t *cdio() const { return cdio_; }
    const DiscToc &toc() const { return toc_; }
    const QString &device() const { return device_; }
    bool isImage() const { return image_; }
    // An image's sheet (its samples come from its files), null for a drive.
    const DiscSheet *sheet() const { return sheet_.get(); }

private:
    DiscHandle() = default;
    DiscState readToc(QString &error);

    CdIo_t *cdio_ = nullptr;
    DiscToc toc_;
    QString device_;
    bool image_ = false;
    std::unique_ptr<DiscSheet> sheet_;
    std::unique_ptr<QTemporaryDir> prepared_;
};

// Reads the table of contents and CD-Text of the disc in `device`.
struct DiscRead {
    DiscState state = DiscState::NoDisc;
    DiscToc toc;
    QString error;
};
DiscRead readDisc(const QString &device);

// Open and close the tray. Throw varnelo::Error with a message that says why
// not (an image has no tray; a drive refused).
void ejectDisc(const DriveInfo &drive);
void closeTray(const DriveInfo &drive);

// Asks a drive whether its disc was changed since the last ask. Images are
// watched through their files instead.
class DriveMonitor {
public:
    explicit DriveMonitor(const QString &device);
    ~DriveMonitor();
    DriveMonitor(const DriveMonitor &) = delete;
    DriveMonitor &operator=(const DriveMonitor &) = delete;
    bool changed();

private:
    CdIo_t *cdio_ = nullptr;
};

} // namespace varnelo::cd
