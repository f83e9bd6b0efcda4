#include "platform/sound/SoundConverter.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

namespace varnelo {

namespace {

AVSampleFormat avFormat(SampleType type) {
    switch (type) {
    case SampleType::Float:
        return AV_SAMPLE_FMT_FLT;
    case SampleType::Int16:
        return AV_SAMPLE_FMT_S16;
    case SampleType::Int32:
        return AV_SAMPLE_FMT_S32;
    }
    return AV_SAMPLE_FMT_FLT;
}

} // namespace

void SoundConverter::SwrFree::operator()(SwrContext *c) const {
    swr_free(&c);
}

SoundConverter::SoundConverter(int inRate, int inChannels, SampleType inType, int outRate, int outChannels,
                               SampleType outType)
    : m_inRate(inRate), m_outRate(outRate), m_outChannels(outChannels) {
    if (inRate <= 0 || outRate <= 0 || inChannels <= 0 || outChannels <= 0 || inChannels > 64 ||
        outChannels > 64)
        return;
    AVChannelLayout inLayout{};
    AVChannelLayout outLayout{};
    av_channel_layout_default(&inLayout, inChannels);
    av_channel_layout_default(&outLayout, outChannels);
    SwrContext *raw = nullptr;
    const int rc = swr_alloc_set_opts2(&raw, &outLayout, avFormat(outType), outRate, &inLayout,
                                       avFormat(inType), inRate, 0, nullptr);
    av_channel_layout_uninit(&inLayout);
    av_channel_layout_uninit(&outLayout);
    std::unique_ptr<SwrContext, SwrFree> swr(raw);
    if (rc < 0 || !swr)
        return;
    // The library's own mono/stereo matrices lower the level by 3 dB; a player
    // keeps a mono recording as loud as it was.
    if (inChannels == 1 && outChannels == 2) {
        const double matrix[2] = {1.0, 1.0};
        swr_set_matrix(swr.get(), matrix, 1);
    } else if (inChannels == 2 && outChannels == 1) {
        const double matrix[2] = {0.5, 0.5};
        swr_set_matrix(swr.get(), matrix, 2);
    }
    if (swr_init(swr.get()) < 0)
        return;
    m_swr = std::move(swr);
}

SoundConverter::~SoundConverter() = default;

int SoundConverter::run(const void *in, int frames, std::uint8_t *out, int capacity) {
    const auto *input = static_cast<const std::uint8_t *>(in);
    return swr_convert(m_swr.get(), &out, capacity, in ? &input : nullptr, in ? frames : 0);
}

std::int64_t SoundConverter::delayFrames() const {
    return m_swr ? swr_get_delay(m_swr.get(), m_inRate) : 0;
}

std::size_t SoundConverter::maxOutFrames(std::size_t frames) const {
    if (!m_swr)
        return 0;
    const int n = swr_get_out_samples(m_swr.get(), static_cast<int>(frames));
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

void SoundConverter::reset() {
    if (m_swr)
        swr_init(m_swr.get());
}

} // namespace varnelo
