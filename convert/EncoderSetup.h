#pragma once
#include "common/SettingsKeys.h"

#include <QString>

namespace varnelo {

class AudioFile;
class AudioFile2LameEnc;
class Prompts;
class SettingsFile;

// Where ConfigureEncoder reads the options: the keys of the settings file at the
// moment of the call, and the MP3 command line, which lives only in the options
// dialog's memo for the run.
class EncoderSettingsSource {
public:
    virtual ~EncoderSettingsSource() = default;
    // The key's value, or its default.
    virtual int readInteger(const keys::IntKey &key) const = 0;
    virtual bool readBool(const keys::BoolKey &key) const = 0;
    virtual QString mp3CommandLine() const = 0;
};

// The settings file alone, with a fixed command line (command-line tools).
class FileEncoderSettings final : public EncoderSettingsSource {
public:
    explicit FileEncoderSettings(const SettingsFile &file, QString commandLine = {})
        : file_(file), commandLine_(std::move(commandLine)) {}
    int readInteger(const keys::IntKey &key) const override;
    bool readBool(const keys::BoolKey &key) const override;
    QString mp3CommandLine() const override { return commandLine_; }

private:
    const SettingsFile &file_;
    QString commandLine_;
};

// The output formats in the order of every format list: 0 MP3, 1 WAV, 2 WMA, 3 OGG,
// 4 FLAC, 5 Opus (stored indices keep their meaning, so new formats go last).
enum class EncoderKind : int { Mp3 = 0, Wav = 1, Wma = 2, Ogg = 3, Flac = 4, Opus = 5 };
constexpr int EncoderKindCount = 6;

// The file component and MP3 settings one set-up goes to. The ripper's file is
// the grabber's output file, which needs SetFormatOption(-1) before a WMA format.
struct EncoderTarget {
    enum class Role { Converter, Ripper };
    AudioFile &file;
    AudioFile2LameEnc &encoder;
    Role role = Role::Converter;
};

// The mapping from the options onto the file component, shared by the
// converter, the ripper and the recorder. OutputExtension is the extension the
// last ConfigureEncoder chose, empty before the first call.
class EncoderSetup {
public:
    explicit EncoderSetup(const EncoderSettingsSource &settings) : settings_(settings) {}

    // kind 0 MP3, 1 WAV, 2 WMA, 3 OGG, 4 FLAC, 5 Opus; any other kind leaves
    // target and extension alone.
    void ConfigureEncoder(int kind, const EncoderTarget &target);
    const QString &OutputExtension() const { return extension_; }

private:
    void configureMp3(const EncoderTarget &target);
    void configureWav(const EncoderTarget &target);
    void configureWma(const EncoderTarget &target);
    void configureOgg(const EncoderTarget &target);
    void configureFlac(const EncoderTarget &target);
    void configureOpus(const EncoderTarget &target);

    const EncoderSettingsSource &settings_;
    QString extension_;
};

// The state of the OGG controls of the options dialog that the recording format
// takes live rather than from the file.
struct RecordingOggControls {
    bool qualityChecked = false; // ck_oggquality
    bool vbrChecked = false;     // ck_oggvbr
    int channelIndex = 1;        // cb_ogg_channel
    QString qualityText;         // edt_ogg_quality
};

// Checks and applies the OGG format of the recording file. Returns false after
// showing "Incorrect format" when the encoder cannot do the combination (the file
// keeps its format). Throws Error when the quality text is not a number.
bool ApplyRecordingOggFormat(AudioFile &recordingFile, const EncoderSettingsSource &settings,
                             const RecordingOggControls &controls, Prompts &prompts);

// Removes the nine characters a file name cannot hold on every system the files
// may travel to: * ? | : " / \ < >; control characters (NUL, escapes) become "_".
QString CleanFileName(const QString &text);

// ".mp3", ".wav", ".wma", ".ogg", ".flac", ".opus" for kinds 0..5, else empty.
QString extensionForKind(int kind);

} // namespace varnelo
