#pragma once
#include "platform/tags/AudioInformation.h"

#include <QString>

namespace varnelo {

// The front cover of a track as players show it: the file's own picture (JPEG
// or PNG), else a picture beside the file (cover.jpg, folder.jpg, …).
struct TrackCover {
    AudioInformation::Cover image;
    QString besideFile; // the picture file beside the track, when that is the cover
    bool isNull() const { return image.isNull(); }
};

// A damaged tag or picture counts as no cover.
TrackCover findTrackCover(const QString &audioFile);

// The cover as a picture file others can open: the one beside the track, else
// the file's own picture written whole to `pathWithoutExtension` plus .jpg or
// .png. Empty when there is none or it cannot be written.
QString coverFileOf(const TrackCover &cover, const QString &pathWithoutExtension);

} // namespace varnelo
