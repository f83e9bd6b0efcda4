#include "platform/audiofile/AudioFile.h"

#include "platform/audiofile/AudioDecoder.h"
#include "platform/audiofile/AudioFile2LameEnc.h"
#include "platform/audiofile/AudioFileFFmpeg.h"
#include "platform/audiofile/ContainerEncoder.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <algorithm>
#include <exception>
#include <optional>
#include <utility>

namespace varnelo {

using namespace audiofile_detail;

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("AudioFile", text);
}

constexpr std::array<int, 15> BitrateKbps{8, 16, 24, 32, 48, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};

// wmav2 refuses less than 24 kbps; those profiles keep their rate and channels.
constexpr int WmaMinKbps = 24;

WmaProfile cbr(int rate, int channels, int kbps) {
    if (kbps >= WmaMinKbps)
        return {rate, channels, kbps, {}};
    return {
        rate, channels, WmaMinKbps,
        tr("%1 kbps is below what the WMA encoder can do; written at %2 kbps.").arg(kbps).arg(WmaMinKbps)};
}

WmaProfile vbr(int rate, int quality, int kbps) {
    return {rate, 2, kbps,
            tr("VBR quality %1 is not available; written at a constant %2 kbps.").arg(quality).arg(kbps)};
}

// Converts an OGG bound as the settings store it: a BitrateTable index (0..14),
// 0 for both meaning no bound; a larger value is taken as kbps already.
int oggBoundKbps(int value, bool bothZero) {
    if (bothZero || value < 0)
        return -1;
    if (value < int(BitrateKbps.size()))
        return BitrateKbps[std::size_t(value)];
    return value;
}

OggFormat makeOggFormat(int rate, int channels, int kbps, int minimum, int maximum, int quality) {
    const bool noBounds = minimum == 0 && maximum == 0;
    OggFormat f;
    f.sampleRate = rate;
    f.channels = channels;
    f.kbps = kbps > 0 ? kbps : -1;
    f.minKbps = oggBoundKbps(minimum, noBounds);
    f.maxKbps = oggBoundKbps(maximum, noBounds);
    f.quality = quality;
    return f;
}

std::optional<AudioFile::OutputKind> kindOfExtension(const QString &path) {
    const QString ext = QFileInfo(path).suffix().toLower();
    if (ext == QLatin1String("wav"))
        return AudioFile::OutputKind::Wav;
    if (ext == QLatin1String("mp3"))
        return AudioFile::OutputKind::Mp3;
    if (ext == QLatin1String("ogg"))
        return AudioFile::OutputKind::Ogg;
    if (ext == QLatin1String("wma"))
        return AudioFile::OutputKind::Wma;
    if (ext == QLatin1String("flac"))
        return AudioFile::OutputKind::Flac;
    if (ext == QLatin1String("opus"))
        return AudioFile::OutputKind::Opus;
    return std::nullopt;
}

} // namespace

const std::array<WmaProfile, 47> &wmaProfiles() {
    static const std::array<WmaProfile, 47> table{
        cbr(48000, 2, 192),
        cbr(48000, 2, 160),
        cbr(48000, 2, 128),
        cbr(48000, 2, 96),
        cbr(48000, 2, 64),
        cbr(44100, 2, 320),
        cbr(44100, 2, 256),
        cbr(44100, 2, 192),
        cbr(44100, 2, 160),
        cbr(44100, 2, 128),
        cbr(44100, 2, 96),
        cbr(44100, 2, 80),
        cbr(44100, 2, 64),
        cbr(44100, 2, 48),
        cbr(44100, 2, 32),
        cbr(44100, 1, 48),
        cbr(44100, 1, 32),
        cbr(44100, 1, 20),
        cbr(32000, 2, 48),
        cbr(32000, 2, 40),
        cbr(32000, 2, 32),
        cbr(32000, 1, 20),
        cbr(32000, 2, 32),
        cbr(32000, 2, 22),
        cbr(22050, 2, 20),
        cbr(22050, 1, 20),
        cbr(22050, 1, 16),
        cbr(16000, 2, 20),
        cbr(16000, 2, 16),
        cbr(16000, 1, 16),
        cbr(16000, 1, 12),
        cbr(16000, 1, 10),
        cbr(11025, 1, 10),
        cbr(11025, 1, 8),
        cbr(8000, 2, 12),
        cbr(8000, 1, 8),
        cbr(8000, 1, 6),
        cbr(8000, 1, 5),
        // Quality-based VBR: the constant rate that a piece of music reaches on average.
        vbr(48000, 98, 256),
        vbr(48000, 90, 192),
        vbr(44100, 98, 256),
        vbr(44100, 90, 192),
        vbr(44100, 75, 128),
        vbr(44100, 50, 96),
        vbr(44100, 25, 64),
        vbr(44100, 10, 48),
        WmaProfile{44100, 2, 320,
                   tr("Lossless WMA is not available; written at a constant 320 kbps, the highest.")},
    };
    return table;
}

const std::array<int, 7> &wavSampleBits() {
    static const std::array<int, 7> bits{2, 3, 4, 5, 8, 16, 32};
    return bits;
}

const std::array<int, 10> &wavSampleRates() {
    static const std::array<int, 10> rates{6000,  8000,  11025, 12000, 16000,
                                           22050, 24000, 32000, 44100, 48000};
    return rates;
}

struct AudioFile::Impl {
    // Error state.
    int errorCode = NoError;
    QString errorText;

    // Source side.
    std::unique_ptr<AudioDecoder> source;

    // Output settings.
    std::optional<SoundFormat> blockFormat; // SetFormat
    int wavRate = 44100, wavChannels = 2, wavBits = 16;
    const AudioFile2LameEnc *mp3 = nullptr;
    AudioFile2LameEnc defaultMp3; // for an .mp3 output nobody gave settings (a recording)
    OggFormat ogg;
    int wmaProfile = 10;
    int flacBits = 0, flacLevel = 5;
    OpusFormat opus;
    int sourceBits = 0;
    int formatOption = -1;
    int encoderThreads = 1;
    OutputKind lastKind = OutputKind::None;

    // Output state.
    std::unique_ptr<AudioEncoder> encoder;
    OutputKind outputKind = OutputKind::None;
    SoundFormat inFormat, outFormat;
    SwrPtr convert;
    std::vector<Sample> scratch;
    qint64 framesWritten = 0;
    bool writeFailed = false;

    void setError(int code, const QString &text) {
        errorCode = code;
        errorText = text;
    }
    void clearError() { setError(NoError, {}); }
    bool pushToEncoder(const Sample *data, qint64 frames);
    bool makeConverter();
    std::unique_ptr<AudioEncoder> makeEncoder(OutputKind kind);
};

std::unique_ptr<AudioEncoder> AudioFile::Impl::makeEncoder(OutputKind kind) {
    switch (kind) {
    case OutputKind::Wav: {
        // The options' sizes, and 24 bits for callers that keep a 24-bit source as it is.
        const auto &bits = wavSampleBits();
        if (wavBits != 24 && std::find(bits.begin(), bits.end(), wavBits) == bits.end()) {
            setError(ErrBadFormat, tr("WAV files cannot have %1 bits per sample").arg(wavBits));
            return nullptr;
        }
        if (wavBits > 5 && (wavRate < 1000 || wavRate > 384000 || wavChannels < 1 || wavChannels > 2)) {
            setError(ErrBadFormat,
                     tr("Unsupported WAV format: %1 Hz, %2 channel(s)").arg(wavRate).arg(wavChannels));
            return nullptr;
        }
        return createWavEncoder(wavRate, wavChannels, wavBits);
    }
    case OutputKind::Wma:
        if (wmaProfile < 1 || wmaProfile > int(wmaProfiles().size())) {
            setError(ErrBadFormat, tr("There is no WMA profile %1").arg(wmaProfile));
            return nullptr;
        }
        return createWmaEncoder(wmaProfiles()[std::size_t(wmaProfile - 1)]);
    case OutputKind::Ogg:
        return createOggEncoder(ogg);
    case OutputKind::Flac: {
        const SoundFormat blocks = blockFormat.value_or(SoundFormat{});
        FlacFormat f;
        f.sampleRate = blocks.sampleRate;
        f.channels = blocks.channels;
        f.bits = flacBits != 0 ? flacBits : (sourceBits > 16 ? 24 : 16);
        f.level = flacLevel;
        if (const QString problem = flacFormatProblem(f); !problem.isEmpty()) {
            setError(ErrBadFormat, problem);
            return nullptr;
        }
        return createFlacEncoder(f, EncoderThreads{encoderThreads, 0});
    }
    case OutputKind::Opus: {
        OpusFormat f = opus;
        f.channels = blockFormat ? blockFormat->channels : 2;
        if (const QString problem = opusFormatProblem(f); !problem.isEmpty()) {
            setError(ErrBadFormat, problem);
            return nullptr;
        }
        return createOpusEncoder(f);
    }
    case OutputKind::Mp3:
        return createMp3Encoder(mp3 ? *mp3 : defaultMp3, blockFormat.value_or(SoundFormat{}),
                                EncoderThreads{encoderThreads, 0});
    case OutputKind::None:
        break;
    }
    setError(ErrBadFormat, tr("No output format was set"));
    return nullptr;
}

// Resampling and channel mixing from the blocks' format to the writer's.
bool AudioFile::Impl::makeConverter() {
    if (inFormat.sampleRate == outFormat.sampleRate && inFormat.channels == outFormat.channels)
        return true;
    if (inFormat.channels > 64) {
        setError(ErrBadFormat, tr("%1 channels cannot be mixed").arg(inFormat.channels));
        return false;
    }
    AVChannelLayout in{}, out{};
    av_channel_layout_default(&in, inFormat.channels);
    av_channel_layout_default(&out, outFormat.channels);
    QString why;
    convert = audiofile_detail::makeConverter(in, AV_SAMPLE_FMT_S32, inFormat.sampleRate, out,
                                              AV_SAMPLE_FMT_S32, outFormat.sampleRate, &why);
    av_channel_layout_uninit(&in);
    av_channel_layout_uninit(&out);
    if (!convert)
        setError(ErrBadFormat, why);
    return bool(convert);
}

bool AudioFile::Impl::pushToEncoder(const Sample *data, qint64 frames) {
    if (frames <= 0 && !convert)
        return true;
    if (convert) {
        const int capacity = swr_get_out_samples(convert.get(), int(frames));
        scratch.resize(std::size_t(std::max(capacity, 0) + 16) * std::size_t(outFormat.channels));
        auto *out = reinterpret_cast<std::uint8_t *>(scratch.data());
        const auto *in = reinterpret_cast<const std::uint8_t *>(data);
        const int n = swr_convert(convert.get(), &out, int(scratch.size() / std::size_t(outFormat.channels)),
                                  frames > 0 ? &in : nullptr, int(frames));
        if (n < 0) {
            setError(ErrWrite, tr("Sample conversion failed: %1").arg(ffmpegError(n)));
            return false;
        }
        data = scratch.data();
        frames = n;
    }
    if (frames > 0 && !encoder->write(data, std::size_t(frames))) {
        setError(ErrWrite, encoder->errorText());
        return false;
    }
    return true;
}

AudioFile::AudioFile() : d(std::make_unique<Impl>()) {}

AudioFile::~AudioFile() {
    CloseFile();
}

AudioFile::AudioFile(AudioFile &&other) noexcept : d(std::exchange(other.d, std::make_unique<Impl>())) {}

AudioFile &AudioFile::operator=(AudioFile &&other) noexcept {
    if (this != &other) {
        CloseFile();
        d = std::exchange(other.d, std::make_unique<Impl>());
    }
    return *this;
}

bool AudioFile::OpenSource(const QString &path) {
    CloseFile();
    d->clearError();
    AudioDecoder::Failure failure = AudioDecoder::Failure::None;
    QString error;
    try {
        d->source = AudioDecoder::open(path, &failure, &error);
    } catch (const std::exception &e) {
        error = QString::fromUtf8(e.what());
        failure = AudioDecoder::Failure::Open;
    }
    if (!d->source) {
        d->setError(failure == AudioDecoder::Failure::Open ? ErrOpen : ErrFormat, error);
        return false;
    }
    return true;
}

SampleBlock AudioFile::ReadSamples(qint64 frames) {
    SampleBlock block;
    if (!d->source || frames <= 0)
        return block;
    block.reserve(std::size_t(std::min<qint64>(frames, 1 << 20) * d->source->channels()));
    d->source->read(block, frames);
    if (d->source->damaged() && d->errorCode == NoError)
        d->setError(ErrDecode, d->source->errorText());
    return block;
}

bool AudioFile::Seek(qint64 frame) {
    if (!d->source) {
        d->setError(ErrState, tr("No source file is open"));
        return false;
    }
    if (!d->source->seek(frame)) {
        d->setError(ErrSeek, d->source->errorText());
        return false;
    }
    return true;
}

qint64 AudioFile::Length() const {
    if (d->source)
        return d->source->length();
    return d->encoder ? d->framesWritten : 0;
}

int AudioFile::BlockAlign() const {
    return Channels();
}

qint64 AudioFile::Duration() const {
    const int rate = SampleRate();
    return rate > 0 ? Length() * 1000 / rate : 0;
}

int AudioFile::Channels() const {
    if (d->source)
        return d->source->channels();
    return d->encoder ? d->inFormat.channels : 0;
}

int AudioFile::SampleRate() const {
    if (d->source)
        return d->source->sampleRate();
    return d->encoder ? d->inFormat.sampleRate : 0;
}

int AudioFile::ErrorCode() const {
    return d->errorCode;
}
QString AudioFile::ErrorText() const {
    return d->errorText;
}
bool AudioFile::GetFileOpen() const {
    return d->source || d->encoder;
}
qint64 AudioFile::Position() const {
    return d->source ? d->source->position() : d->framesWritten;
}
int AudioFile::SourceBits() const {
    return d->source ? d->source->storedBits() : 0;
}
QString AudioFile::CodecName() const {
    return d->source ? d->source->codecName() : QString();
}
AudioFile::OutputKind AudioFile::outputKind() const {
    return d->outputKind;
}
int AudioFile::FormatOption() const {
    return d->formatOption;
}

void AudioFile::StopFile() {
    if (d->encoder)
        d->encoder->stop();
    CloseFile();
}

void AudioFile::CloseFile() {
    d->source.reset();
    if (!d->encoder)
        return;
    if (!d->writeFailed && d->convert)
        d->writeFailed = !d->pushToEncoder(nullptr, 0); // the resampler's tail
    bool finished = false;
    try {
        finished = d->encoder->finish();
    } catch (const std::exception &e) {
        d->setError(ErrClose, QString::fromUtf8(e.what()));
    }
    if (!finished && d->errorCode == NoError)
        d->setError(ErrClose, d->encoder->errorText());
    d->encoder.reset();
    d->convert.reset();
    d->outputKind = OutputKind::None;
    d->scratch = {};
}

void AudioFile::TakeSource(AudioFile &other) {
    if (&other == this)
        return;
    d->source = std::move(other.d->source);
    d->errorCode = std::exchange(other.d->errorCode, NoError);
    d->errorText = std::exchange(other.d->errorText, {});
}

void AudioFile::SetFormat(int sampleRate, int channels) {
    if (sampleRate > 0 && channels > 0)
        d->blockFormat = SoundFormat{sampleRate, channels};
    else
        d->blockFormat.reset();
    // On an open output the blocks to come change format from here on.
    if (d->encoder && !d->writeFailed) {
        const SoundFormat next = d->blockFormat.value_or(d->outFormat);
        if (next.sampleRate != d->inFormat.sampleRate || next.channels != d->inFormat.channels) {
            if (d->convert)
                d->writeFailed = !d->pushToEncoder(nullptr, 0);
            d->convert.reset();
            d->inFormat = next;
            if (!d->writeFailed && !d->makeConverter())
                d->writeFailed = true;
        }
    }
}

void AudioFile::SetWavFormat(int sampleRate, int channels, int bits) {
    d->wavRate = sampleRate;
    d->wavChannels = channels;
    d->wavBits = bits;
    d->lastKind = OutputKind::Wav;
}

void AudioFile::SetMp3Encoder(const AudioFile2LameEnc *encoder) {
    d->mp3 = encoder;
    d->lastKind = OutputKind::Mp3;
}

void AudioFile::SetOggFormat(int sampleRate, int channels, int kbps, int minKbps, int maxKbps, int quality) {
    d->ogg = makeOggFormat(sampleRate, channels, kbps, minKbps, maxKbps, quality);
    d->lastKind = OutputKind::Ogg;
}

bool AudioFile::CheckOggFormat(int sampleRate, int channels, int kbps, int minKbps, int maxKbps) const {
    try {
        return checkOggFormat(makeOggFormat(sampleRate, channels, kbps, minKbps, maxKbps, -1));
    } catch (const std::exception &) {
        return false;
    }
}

void AudioFile::SetWmaFormat(int profile) {
    d->wmaProfile = profile;
    d->lastKind = OutputKind::Wma;
}

void AudioFile::SetFlacFormat(int bits, int level) {
    d->flacBits = bits;
    d->flacLevel = level;
    d->lastKind = OutputKind::Flac;
}

void AudioFile::SetOpusFormat(int kbps, OpusFormat::Mode mode, int complexity) {
    d->opus.kbps = kbps;
    d->opus.mode = mode;
    d->opus.complexity = complexity;
    d->lastKind = OutputKind::Opus;
}

void AudioFile::SetSourceBits(int bits) {
    d->sourceBits = bits;
}

void AudioFile::SetEncoderThreads(int threads) {
    d->encoderThreads = std::max(threads, 1);
}

void AudioFile::SetFormatOption(int option) {
    d->formatOption = option;
}

bool AudioFile::CreateOutputFile(const QString &path) {
    CloseFile();
    d->clearError();
    d->writeFailed = false;
    d->framesWritten = 0;
    const OutputKind kind =
        kindOfExtension(path).value_or(d->lastKind == OutputKind::None ? OutputKind::Wav : d->lastKind);
    std::unique_ptr<AudioEncoder> encoder;
    try {
        encoder = d->makeEncoder(kind);
        if (encoder && !encoder->open(path)) {
            d->setError(ErrCreate, encoder->errorText());
            encoder.reset();
        }
    } catch (const std::exception &e) {
        d->setError(ErrCreate, QString::fromUtf8(e.what()));
        encoder.reset();
    }
    if (!encoder) {
        if (d->errorCode == NoError)
            d->setError(ErrCreate, tr("Cannot create %1").arg(path));
        return false;
    }
    d->outFormat = encoder->inputFormat();
    d->inFormat = d->blockFormat.value_or(d->outFormat);
    if (!d->makeConverter()) {
        encoder->finish();
        return false;
    }
    d->encoder = std::move(encoder);
    d->outputKind = kind;
    return true;
}

bool AudioFile::WriteSamples(const SampleBlock &block) {
    if (!d->encoder) {
        d->setError(ErrState, tr("No output file is open"));
        return false;
    }
    if (d->writeFailed)
        return false;
    const auto channels = std::size_t(d->inFormat.channels);
    if (block.size() % channels != 0) {
        d->setError(ErrWrite, tr("A block of %1 samples is not a whole number of %2-channel frames")
                                  .arg(block.size())
                                  .arg(channels));
        return false;
    }
    const auto frames = qint64(block.size() / channels);
    if (frames == 0)
        return true; // an empty block must not drain the resampler midway
    try {
        if (!d->pushToEncoder(block.data(), frames)) {
            d->writeFailed = true;
            return false;
        }
    } catch (const std::exception &e) {
        d->setError(ErrWrite, QString::fromUtf8(e.what()));
        d->writeFailed = true;
        return false;
    }
    d->framesWritten += frames;
    return true;
}

} // namespace varnelo
