#pragma once
#include "platform/audiofile/AudioEncoder.h"
#include "platform/sound/AudioTypes.h"
#include "platform/sound/SoundOutput.h"

#include <QString>
#include <array>
#include <memory>

namespace varnelo {

class AudioFile2LameEnc; // platform/AudioFile2LameEnc.h

// What one entry of the WMA profile list becomes with the wmav2 encoder.
// Entries that ask for something wmav2 cannot do (VBR quality, lossless,
// voice) keep their place and map to the nearest CBR setting; `note` says so.
struct WmaProfile {
    int rate;
    int channels;
    int kbps;
    QString note;
};
// Index 0 is profile 1.
const std::array<WmaProfile, 47> &wmaProfiles();

// Sample sizes and rates the WAV output accepts.
// SetWavFormat also takes 24 bits.
const std::array<int, 7> &wavSampleBits();   // 2,3,4,5 (G.726) 8,16,32 (PCM)
const std::array<int, 10> &wavSampleRates(); // the rates the options offer

// Reads any audio file FFmpeg can decode as interleaved 32-bit frames, and
// writes WAV (PCM or G.726), MP3, OGG, WMA, FLAC or Opus from such frames.
class AudioFile {
public:
    // Error codes (ErrorCode()); 0 = no error.
    enum : int {
        NoError = 0,
        ErrOpen = 1,   // source missing or unreadable
        ErrFormat = 2, // not an audio file / no decoder
        ErrDecode = 3, // decoding failed part way
        ErrSeek = 4,
        ErrCreate = 5,    // output could not be created
        ErrWrite = 6,     // writing failed (disk full...)
        ErrClose = 7,     // output could not be completed
        ErrBadFormat = 8, // output format not supported
        ErrState = 9,     // call in the wrong state
    };
    enum class OutputKind { None, Wav, Mp3, Ogg, Wma, Flac, Opus };

    AudioFile();
    ~AudioFile();
    AudioFile(const AudioFile &) = delete;
    AudioFile &operator=(const AudioFile &) = delete;
    // An open output moves with its settings (the CD grabber hands each
    // configured output to the thread that encodes it); the moved-from file is
    // as a new one.
    AudioFile(AudioFile &&other) noexcept;
    AudioFile &operator=(AudioFile &&other) noexcept;

    // Source side. Length() in frames (samples per channel); BlockAlign() =
    // array elements per frame (= channels). ReadSamples(n) returns the next n
    // frames (fewer at the end, empty at the end), interleaved; 16-bit sources
    // fill the upper half of each sample, 24/32-bit ones keep every bit.
    // Length() is exact for WAV PCM, FLAC, MP3 (counted from its frames), Ogg
    // Vorbis/Opus and M4A; within one block for WMA and ADPCM. Once reading
    // reaches the end it is the decoded count in every case.
    // Seek() is exact to the frame for every format (coarse-timestamped WMA
    // and ADPCM by decoding from the start). A failed OpenSource leaves
    // ErrorCode() ErrOpen or ErrFormat; nothing else throws or crashes on a bad file.
    bool OpenSource(const QString &path);
    SampleBlock ReadSamples(qint64 frames);
    bool Seek(qint64 frame);
    qint64 Length() const;
    int BlockAlign() const;
    qint64 Duration() const; // ms
    int Channels() const;
    int SampleRate() const;
    int ErrorCode() const;
    QString ErrorText() const;
    bool GetFileOpen() const;
    // Closes the source, or completes the output. When the output could not
    // be written or completed, ErrorCode() says so (ErrWrite/ErrClose) and the
    // file keeps what was written, with the unfinished header of a cut-off file.
    void CloseFile();
    // Takes over the source `other` has open, at its position (a track that
    // was opened ahead becomes the one that plays); `other` is left without one.
    // An output open here is kept.
    void TakeSource(AudioFile &other);
    // Completes the output of a conversion stopped part way: audio still being
    // encoded on other cores is dropped, not waited for, and the file says what
    // it holds.
    void StopFile();

    // Source extras.
    qint64 Position() const; // frames
    int SourceBits() const;  // bits per sample the source stores (0 when lossy)
    QString CodecName() const;

    // Output side.
    void SetFormat(int sampleRate, int channels); // format of the blocks WriteSamples gets
    void SetWavFormat(int sampleRate, int channels, int bits);
    void SetMp3Encoder(const AudioFile2LameEnc *encoder);
    void SetOggFormat(int sampleRate, int channels, int kbps, int minKbps, int maxKbps, int quality);
    bool CheckOggFormat(int sampleRate, int channels, int kbps, int minKbps, int maxKbps) const;
    void SetWmaFormat(int profile); // 1..47
    // FLAC at the blocks' rate and channels (SetFormat's, else 44100 Hz
    // stereo); bits 16 or 24, or 0 for the source's as SetSourceBits gives it
    // (16 for lossy sources, 24 for deeper ones). Level 0..8.
    void SetFlacFormat(int bits, int level);
    // Ogg Opus at 48 kHz with the blocks' channels (stereo without SetFormat).
    void SetOpusFormat(int kbps, OpusFormat::Mode mode, int complexity);
    // Bits per sample of the source the blocks come from (SourceBits()), 0 when lossy.
    void SetSourceBits(int bits);
    // Cores the next output may encode one file on (MP3, FLAC); 1, the default,
    // encodes in one pass.
    void SetEncoderThreads(int threads);
    // Options of the next output; -1 (what the program passes) = the defaults.
    // The writers have no further options, so the value is only kept.
    void SetFormatOption(int option);
    // The format comes from the path's extension (.wav .mp3 .ogg .wma .flac .opus) with
    // that format's settings (or its defaults when none were given); another
    // extension takes the format set last. Channels() and SampleRate() then
    // give the format WriteSamples expects: SetFormat's, else the writer's own.
    bool CreateOutputFile(const QString &path);
    bool WriteSamples(const SampleBlock &block);

    OutputKind outputKind() const;
    int FormatOption() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace varnelo
