#pragma once
#include <QString>

namespace varnelo {

// The MP3 parameters the encoder applies, after every setter and the command
// line. Zero or -1 values mean "let LAME decide" where noted.
struct LameSettings {
    enum class VbrMethod { None, Old, New, Mtrh, Abr };
    enum class ChannelMode { Default, Stereo, JointStereo, ForcedJointStereo, DualChannel, Mono };
    enum class Ath { Default, Only, Disabled, ShortBlocksOnly };
    enum class DeEmphasis { None, Us50_15, CcittJ17 };

    int bitrateKbps = 128; // CBR rate; minimum in VBR when enforced
    VbrMethod vbrMethod = VbrMethod::None;
    int vbrQuality = 4; // 0 best .. 9
    int vbrMaxKbps = 0; // 0: LAME's maximum
    int vbrMinKbps = 0; // 0: LAME's minimum (overrides bitrateKbps as the VBR minimum)
    int abrKbps = 0;    // mean rate for VbrMethod::Abr
    bool enforceMinBitrate = false;
    ChannelMode channelMode = ChannelMode::Default;
    int quality = -1;         // 0 best/slow .. 9 fast; -1 LAME default
    int outputSampleRate = 0; // Hz; 0 keeps the input rate
    int lowpassHz = 0;        // 0 auto, -1 off
    int lowpassWidthHz = -1;  // -1 LAME default
    int highpassHz = 0;       // 0 auto (none), -1 off
    int highpassWidthHz = -1;
    bool writeVbrHeader = true; // Xing/Info + LAME tag frame
    bool bitReservoir = true;
    bool allowMixedBlocks = false; // LAME's nearest: different block types per channel
    bool shortBlocks = true;
    DeEmphasis deEmphasis = DeEmphasis::None;
    bool strictIso = false;
    Ath ath = Ath::Default;
    int athType = -1; // -1 LAME default
    bool crc = false;
    float scale = 1.0f;
    int lamePreset = 0; // a lame_set_preset value applied before the rest; 0 none

    bool operator==(const LameSettings &) const = default;
};

// Result of reading a command line: the settings with the options applied, or
// why the text could not be used (settings are then the ones given).
struct LameCommandLineResult {
    LameSettings settings;
    QString error;
    bool ok() const { return error.isEmpty(); }
};

// Applies LAME command-line options (the common subset: -b -B -V -q -h -f -m -p
// -e -t -F -v, --preset/--alt-preset, --abr, --cbr, --vbr-old, --vbr-new,
// --vbr-mtrh, --resample, --lowpass, --lowpass-width, --highpass,
// --highpass-width, --nores, --strictly-enforce-ISO, --scale, --noshort,
// --athonly, --noath, --athshort, --athtype; -S, --silent, --quiet and --nohist
// are accepted and do nothing) on top of `base`. Rates and filter frequencies
// are in kHz, as LAME takes them (values of 50 and more are read as Hz).
// Anything else, file names included, is an error.
LameCommandLineResult parseLameCommandLine(const QString &commandLine, const LameSettings &base);

// The settings object of the MP3 output (TAudioFile2LameEnc). Every setter
// overrides what an earlier call set; SetPreset and SetAltPreset write the
// parameters the preset stands for, so later setters refine a preset and a
// later preset replaces earlier choices. The command line is applied on top
// of everything when the encoder opens, like options typed after the rest.
class AudioFile2LameEnc {
public:
    // Preset numbers as the options list them.
    enum Preset { Phone = 1, SW, AM, FM, Voice, Radio, Tape, HiFi, CD, Studio, R3Mix };
    enum AltPreset { FastStandard = 1, Standard, FastExtreme, Extreme, Insane };

    void SetCommandLine(const QString &text);
    void SetPreset(int preset);       // 1..11; others ignored
    void SetAltPreset(int altPreset); // 1..5; others ignored
    void SetVbrBitrate(int kbps);     // VBR maximum
    void SetVbrQuality(int quality);  // 0..9
    void SetVbrMethod(int method);    // -1 none, 0 default, 1 old, 2 new, 3 MTRH
    void SetChannelMode(int mode);    // 1 stereo, 2 joint, 3 forced joint, 4 dual
    void SetQuality(int quality);     // 0..9
    void SetWriteVbrHeader(bool on);
    void SetBitReservoir(bool on);
    void SetAllowMixedBlocks(bool on);
    void SetShortBlocks(bool on);
    void SetDeEmphasis(int mode); // 0 none, 1 50/15 us, 2 CCITT J.17
    void SetStrictIso(bool on);
    void SetEnforceMinBitrate(bool on);
    void SetAthControl(int mode);      // 0 default, 1 only, 2 disabled, 3 short blocks only
    void SetLowpassFrequency(int hz);  // -1 off
    void SetHighpassFrequency(int hz); // -1 off
    void SetLowpassWidth(int hz);
    void SetHighpassWidth(int hz);
    void SetCrc(bool on);
    void SetSampleRate(int hz); // output rate; LAME resamples
    void SetMono(int mono);     // non-zero: mono output
    void SetBitrate(int kbps);

    const LameSettings &settings() const { return m_settings; }
    QString commandLine() const { return m_commandLine; }
    // settings() with the command line applied; error tells why it could not be.
    LameCommandLineResult effectiveSettings() const;

private:
    LameSettings m_settings;
    QString m_commandLine;
};

} // namespace varnelo
