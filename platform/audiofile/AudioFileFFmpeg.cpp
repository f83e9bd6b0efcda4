#include "platform/audiofile/AudioFileFFmpeg.h"

#include <QCoreApplication>
#include <vector>

namespace varnelo::audiofile_detail {

SwrPtr makeConverter(const AVChannelLayout &inLayout, AVSampleFormat inFormat, int inRate,
                     const AVChannelLayout &outLayout, AVSampleFormat outFormat, int outRate,
                     QString *error) {
    SwrContext *raw = nullptr;
    // FFmpeg 5.1 takes the layouts as non-const, though it only reads them.
    int r = swr_alloc_set_opts2(&raw, const_cast<AVChannelLayout *>(&outLayout), outFormat, outRate,
                                const_cast<AVChannelLayout *>(&inLayout), inFormat, inRate, 0, nullptr);
    SwrPtr swr(raw);
    if (r >= 0) {
        const int in = inLayout.nb_channels;
        const int out = outLayout.nb_channels;
        if ((in == 1 && out == 2) || (in == 2 && out == 1)) {
            // Row per output channel, column per input channel.
            std::vector<double> matrix =
                in == 1 ? std::vector<double>{1.0, 1.0} : std::vector<double>{0.5, 0.5};
            r = swr_set_matrix(swr.get(), matrix.data(), in);
        }
    }
    if (r >= 0)
        r = swr_init(swr.get());
    if (r < 0) {
        *error = QCoreApplication::translate("AudioFile", "cannot convert %1 Hz %2 ch to %3 Hz %4 ch (%5)")
                     .arg(inRate)
                     .arg(inLayout.nb_channels)
                     .arg(outRate)
                     .arg(outLayout.nb_channels)
                     .arg(ffmpegError(r));
        return nullptr;
    }
    return swr;
}

} // namespace varnelo::audiofile_detail
