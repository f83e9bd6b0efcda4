#include "platform/audiofile/AudioFile2LameEnc.h"

#include <QProcess>
#include <QStringList>

#include <algorithm>
#include <array>
#include <cmath>
#include <lame/lame.h>

namespace varnelo {

namespace {

using VbrMethod = LameSettings::VbrMethod;
using ChannelMode = LameSettings::ChannelMode;
using Ath = LameSettings::Ath;

struct ClassicPreset {
    int outputRate;   // 0: keep the input rate
    int lowpass;      // -1 off
    int lowpassWidth; // -1 LAME default
    ChannelMode mode;
    int cbrKbps;
    int vbrQuality;
    int vbrMin;
    int vbrMax;
    int quality;
    bool shortBlocks;
};

// The parameters the classic quality preset names have always stood for.
// R3Mix is not in the table: it also fixes the VBR method and the ATH type.
constexpr std::array<ClassicPreset, 10> classicPresets{{
    {8000, 3200, 1000, ChannelMode::Mono, 16, 6, 8, 56, 5, false},         // Phone
    {11025, 4800, 500, ChannelMode::Mono, 24, 5, 8, 64, 5, true},          // SW
    {16000, 7200, 500, ChannelMode::Mono, 32, 5, 16, 128, 5, true},        // AM
    {22050, 9950, 880, ChannelMode::JointStereo, 64, 5, 24, 160, 5, true}, // FM
    {32000, 12300, 2000, ChannelMode::Mono, 56, 5, 32, 128, 5, false},     // Voice
    {0, 15000, 0, ChannelMode::JointStereo, 112, 4, 64, 256, 5, true},     // Radio
    {0, 18500, 2000, ChannelMode::JointStereo, 128, 4, 96, 320, 5, true},  // Tape
    {0, 20240, 2200, ChannelMode::JointStereo, 160, 3, 112, 320, 2, true}, // HiFi
    {0, -1, -1, ChannelMode::Stereo, 192, 2, 128, 320, 2, true},           // CD
    {0, -1, -1, ChannelMode::Stereo, 256, 0, 160, 320, 2, true},           // Studio
}};

void applyClassicPreset(LameSettings &s, int preset) {
    s.lamePreset = 0;
    s.athType = -1;
    s.enforceMinBitrate = false;
    if (preset == AudioFile2LameEnc::R3Mix) {
        s.outputSampleRate = 0;
        s.lowpassHz = 19500;
        s.lowpassWidthHz = -1;
        s.channelMode = ChannelMode::JointStereo;
        s.vbrMethod = VbrMethod::Mtrh;
        s.vbrQuality = 1;
        s.vbrMinKbps = 96;
        s.vbrMaxKbps = 0;
        s.athType = 3;
        s.quality = 2;
        s.shortBlocks = true;
        return;
    }
    const ClassicPreset &p = classicPresets[static_cast<std::size_t>(preset - 1)];
    s.outputSampleRate = p.outputRate;
    s.lowpassHz = p.lowpass;
    s.lowpassWidthHz = p.lowpassWidth;
    s.channelMode = p.mode;
    s.bitrateKbps = p.cbrKbps;
    s.vbrQuality = p.vbrQuality;
    s.vbrMinKbps = p.vbrMin;
    s.vbrMaxKbps = p.vbrMax;
    s.quality = p.quality;
    s.shortBlocks = p.shortBlocks;
}

// The alternative presets hand the tuning to LAME's own presets; what a classic
// preset fixed (rate, filters, mode, limits) goes back to LAME's choice.
void applyAltPreset(LameSettings &s, int altPreset) {
    s.outputSampleRate = 0;
    s.lowpassHz = 0;
    s.lowpassWidthHz = -1;
    s.highpassHz = 0;
    s.highpassWidthHz = -1;
    s.channelMode = ChannelMode::Default;
    s.vbrMinKbps = 0;
    s.vbrMaxKbps = 0;
    s.enforceMinBitrate = false;
    s.quality = -1;
    s.shortBlocks = true;
    s.athType = -1;
    switch (altPreset) {
    case AudioFile2LameEnc::FastStandard:
        s.lamePreset = STANDARD_FAST;
        s.vbrMethod = VbrMethod::New;
        s.vbrQuality = 2;
        break;
    case AudioFile2LameEnc::Standard:
        s.lamePreset = STANDARD;
        s.vbrMethod = VbrMethod::Old;
        s.vbrQuality = 2;
        break;
    case AudioFile2LameEnc::FastExtreme:
        s.lamePreset = EXTREME_FAST;
        s.vbrMethod = VbrMethod::New;
        s.vbrQuality = 0;
        break;
    case AudioFile2LameEnc::Extreme:
        s.lamePreset = EXTREME;
        s.vbrMethod = VbrMethod::Old;
        s.vbrQuality = 0;
        break;
    default: // Insane
        s.lamePreset = INSANE;
        s.vbrMethod = VbrMethod::None;
        s.bitrateKbps = 320;
        break;
    }
}

bool isMp3Bitrate(int kbps) {
    static constexpr std::array<int, 18> rates{8,  16,  24,  32,  40,  48,  56,  64,  80,
                                               96, 112, 128, 144, 160, 192, 224, 256, 320};
    return std::find(rates.begin(), rates.end(), kbps) != rates.end();
}

// Reads the command line token by token; every failure names the option.
class CommandLineReader {
public:
    CommandLineReader(const QString &text, const LameSettings &base)
        : m_args(QProcess::splitCommand(text)), m_s(base) {}

    LameCommandLineResult run() {
        while (m_pos < m_args.size() && m_error.isEmpty()) {
            const QString arg = m_args.at(m_pos++);
            if (arg.startsWith(QLatin1String("--")))
                longOption(arg);
            else if (arg.size() > 1 && arg.startsWith(QLatin1Char('-')))
                shortOptions(arg);
            else
                fail(QStringLiteral("Unexpected argument \"%1\" in the MP3 command line: only encoder "
                                    "options are allowed.")
                         .arg(arg));
        }
        if (!m_error.isEmpty())
            return {LameSettings(), m_error};
        return {m_s, QString()};
    }

private:
    void fail(const QString &text) {
        if (m_error.isEmpty())
            m_error = text;
    }

    bool nextValue(const QString &option, QString &value) {
        if (m_pos >= m_args.size()) {
            fail(QStringLiteral("Option \"%1\" of the MP3 command line needs a value.").arg(option));
            return false;
        }
        value = m_args.at(m_pos++);
        return true;
    }

    bool toNumber(const QString &option, const QString &value, double &number) {
        bool ok = false;
        number = value.toDouble(&ok);
        if (!ok || !std::isfinite(number))
            fail(QStringLiteral("Option \"%1\" of the MP3 command line needs a number, not \"%2\".")
                     .arg(option, value));
        return ok;
    }

    bool intInRange(const QString &option, const QString &value, int low, int high, int &result) {
        double number = 0;
        if (!toNumber(option, value, number))
            return false;
        if (number < low || number > high || number != std::floor(number)) {
            fail(QStringLiteral(
                     "Option \"%1\" of the MP3 command line takes a whole number from %2 to %3, not \"%4\".")
                     .arg(option)
                     .arg(low)
                     .arg(high)
                     .arg(value));
            return false;
        }
        result = static_cast<int>(number);
        return true;
    }

    bool bitrate(const QString &option, const QString &value, int &kbps) {
        if (!intInRange(option, value, 8, 320, kbps))
            return false;
        if (!isMp3Bitrate(kbps)) {
            fail(QStringLiteral("\"%1\" given to option \"%2\" is not an MP3 bitrate.").arg(value, option));
            return false;
        }
        return true;
    }

    // LAME reads rates and filter frequencies in kHz and small Hz values make no
    // sense there, so values of 50 and more are taken as Hz.
    bool frequency(const QString &option, const QString &value, int &hz) {
        double number = 0;
        if (!toNumber(option, value, number))
            return false;
        if (number < 0) {
            hz = -1;
            return true;
        }
        if (number < 0.001 || number > 50000) {
            fail(QStringLiteral("Option \"%1\" of the MP3 command line takes a frequency in kHz, not \"%2\".")
                     .arg(option, value));
            return false;
        }
        hz = static_cast<int>(std::lround(number < 50 ? number * 1000 : number));
        return true;
    }

    void shortOptions(const QString &arg) {
        for (qsizetype i = 1; i < arg.size() && m_error.isEmpty(); ++i) {
            const QChar c = arg.at(i);
            const QString option = QLatin1Char('-') + c;
            // An option with a value takes the rest of the token or the next one.
            auto value = [&](QString &v) {
                if (i + 1 < arg.size()) {
                    v = arg.mid(i + 1);
                    i = arg.size();
                    return true;
                }
                return nextValue(option, v);
            };
            QString v;
            switch (c.unicode()) {
            case 'b':
                if (value(v) && bitrate(option, v, m_s.bitrateKbps))
                    m_s.vbrMinKbps = m_s.bitrateKbps;
                break;
            case 'B':
                if (value(v))
                    bitrate(option, v, m_s.vbrMaxKbps);
                break;
            case 'V': {
                double q = 0;
                if (value(v) && toNumber(option, v, q)) {
                    if (q < 0 || q >= 10) {
                        fail(QStringLiteral("Option \"-V\" of the MP3 command line takes a quality from 0 to "
                                            "9, not \"%1\".")
                                 .arg(v));
                        break;
                    }
                    m_s.vbrQuality = static_cast<int>(q);
                    if (m_s.vbrMethod == VbrMethod::None || m_s.vbrMethod == VbrMethod::Abr)
                        m_s.vbrMethod = VbrMethod::Mtrh;
                }
                break;
            }
            case 'v':
                if (m_s.vbrMethod == VbrMethod::None || m_s.vbrMethod == VbrMethod::Abr)
                    m_s.vbrMethod = VbrMethod::Mtrh;
                break;
            case 'q':
                if (value(v))
                    intInRange(option, v, 0, 9, m_s.quality);
                break;
            case 'h':
                m_s.quality = 2;
                break;
            case 'f':
                m_s.quality = 7;
                break;
            case 'm':
                if (value(v))
                    mode(v);
                break;
            case 'p':
                m_s.crc = true;
                break;
            case 'e':
                if (!value(v))
                    break;
                if (v == QLatin1String("n"))
                    m_s.deEmphasis = LameSettings::DeEmphasis::None;
                else if (v == QLatin1String("5"))
                    m_s.deEmphasis = LameSettings::DeEmphasis::Us50_15;
                else if (v == QLatin1String("c"))
                    m_s.deEmphasis = LameSettings::DeEmphasis::CcittJ17;
                else
                    fail(QStringLiteral("Option \"-e\" of the MP3 command line takes n, 5 or c, not \"%1\".")
                             .arg(v));
                break;
            case 't':
                m_s.writeVbrHeader = false;
                break;
            case 'F':
                m_s.enforceMinBitrate = true;
                break;
            case 'S': // console output only
                break;
            default:
                fail(QStringLiteral("Unknown option \"%1\" in the MP3 command line.").arg(option));
            }
        }
    }

    void mode(const QString &v) {
        static const std::array<std::pair<const char *, ChannelMode>, 6> modes{{
            {"s", ChannelMode::Stereo},
            {"j", ChannelMode::JointStereo},
            {"f", ChannelMode::ForcedJointStereo},
            {"d", ChannelMode::DualChannel},
            {"m", ChannelMode::Mono},
            {"a", ChannelMode::Default},
        }};
        for (const auto &[name, m] : modes) {
            if (v == QLatin1String(name)) {
                m_s.channelMode = m;
                return;
            }
        }
        fail(QStringLiteral("Option \"-m\" of the MP3 command line takes s, j, f, d, m or a, not \"%1\".")
                 .arg(v));
    }

    void preset(const QString &option) {
        QString name;
        if (!nextValue(option, name))
            return;
        name = name.toLower();
        if (name == QLatin1String("fast")) {
            QString second;
            if (!nextValue(option, second))
                return;
            second = second.toLower();
            if (second == QLatin1String("standard"))
                applyAltPreset(m_s, AudioFile2LameEnc::FastStandard);
            else if (second == QLatin1String("extreme"))
                applyAltPreset(m_s, AudioFile2LameEnc::FastExtreme);
            else
                fail(QStringLiteral("Unknown preset \"fast %1\" in the MP3 command line.").arg(second));
            return;
        }
        if (name == QLatin1String("cbr")) {
            QString v;
            if (nextValue(option, v) && bitrate(option, v, m_s.bitrateKbps)) {
                m_s.vbrMethod = VbrMethod::None;
                m_s.lamePreset = 0;
            }
            return;
        }
        static const std::array<std::pair<const char *, int>, 3> alt{{
            {"standard", AudioFile2LameEnc::Standard},
            {"extreme", AudioFile2LameEnc::Extreme},
            {"insane", AudioFile2LameEnc::Insane},
        }};
        for (const auto &[n, p] : alt) {
            if (name == QLatin1String(n)) {
                applyAltPreset(m_s, p);
                return;
            }
        }
        if (name == QLatin1String("medium")) {
            applyAltPreset(m_s, AudioFile2LameEnc::FastStandard);
            m_s.lamePreset = MEDIUM;
            m_s.vbrQuality = 4;
            return;
        }
        static const std::array<const char *, 11> classic{"phone", "sw",   "am", "fm",     "voice", "radio",
                                                          "tape",  "hifi", "cd", "studio", "r3mix"};
        for (std::size_t i = 0; i < classic.size(); ++i) {
            if (name == QLatin1String(classic[i])) {
                applyClassicPreset(m_s, static_cast<int>(i) + 1);
                return;
            }
        }
        bool isNumber = false;
        const int kbps = name.toInt(&isNumber);
        if (isNumber) {
            if (kbps < 8 || kbps > 320) {
                fail(
                    QStringLiteral(
                        "Preset \"%1\" of the MP3 command line is not an average bitrate from 8 to 320 kbps.")
                        .arg(name));
                return;
            }
            m_s.vbrMethod = VbrMethod::Abr;
            m_s.abrKbps = kbps;
            m_s.lamePreset = 0;
            return;
        }
        fail(QStringLiteral("Unknown preset \"%1\" in the MP3 command line.").arg(name));
    }

    void longOption(const QString &option) {
        QString v;
        double number = 0;
        if (option == QLatin1String("--preset") || option == QLatin1String("--alt-preset")) {
            preset(option);
        } else if (option == QLatin1String("--abr")) {
            if (nextValue(option, v) && intInRange(option, v, 8, 320, m_s.abrKbps))
                m_s.vbrMethod = VbrMethod::Abr;
        } else if (option == QLatin1String("--cbr")) {
            m_s.vbrMethod = VbrMethod::None;
        } else if (option == QLatin1String("--vbr-old")) {
            m_s.vbrMethod = VbrMethod::Old;
        } else if (option == QLatin1String("--vbr-new")) {
            m_s.vbrMethod = VbrMethod::New;
        } else if (option == QLatin1String("--vbr-mtrh")) {
            m_s.vbrMethod = VbrMethod::Mtrh;
        } else if (option == QLatin1String("--resample")) {
            int hz = 0;
            if (nextValue(option, v) && frequency(option, v, hz))
                resample(option, v, hz);
        } else if (option == QLatin1String("--lowpass")) {
            if (nextValue(option, v))
                frequency(option, v, m_s.lowpassHz);
        } else if (option == QLatin1String("--highpass")) {
            if (nextValue(option, v))
                frequency(option, v, m_s.highpassHz);
        } else if (option == QLatin1String("--lowpass-width")) {
            if (nextValue(option, v))
                width(option, v, m_s.lowpassWidthHz);
        } else if (option == QLatin1String("--highpass-width")) {
            if (nextValue(option, v))
                width(option, v, m_s.highpassWidthHz);
        } else if (option == QLatin1String("--nores")) {
            m_s.bitReservoir = false;
        } else if (option == QLatin1String("--strictly-enforce-ISO")) {
            m_s.strictIso = true;
        } else if (option == QLatin1String("--scale")) {
            if (nextValue(option, v) && toNumber(option, v, number)) {
                if (number <= 0 || number > 100)
                    fail(QStringLiteral(
                             "Option \"--scale\" of the MP3 command line takes a factor above 0, not \"%1\".")
                             .arg(v));
                else
                    m_s.scale = static_cast<float>(number);
            }
        } else if (option == QLatin1String("--noshort")) {
            m_s.shortBlocks = false;
        } else if (option == QLatin1String("--athonly")) {
            m_s.ath = Ath::Only;
        } else if (option == QLatin1String("--noath")) {
            m_s.ath = Ath::Disabled;
        } else if (option == QLatin1String("--athshort")) {
            m_s.ath = Ath::ShortBlocksOnly;
        } else if (option == QLatin1String("--athtype")) {
            if (nextValue(option, v))
                intInRange(option, v, 0, 5, m_s.athType);
        } else if (option == QLatin1String("--silent") || option == QLatin1String("--quiet") ||
                   option == QLatin1String("--nohist")) {
            // console output only
        } else {
            fail(QStringLiteral("Unknown option \"%1\" in the MP3 command line.").arg(option));
        }
    }

    void width(const QString &option, const QString &value, int &hz) {
        double number = 0;
        if (!toNumber(option, value, number))
            return;
        if (number < 0.001 || number > 50000) {
            fail(QStringLiteral("Option \"%1\" of the MP3 command line takes a width in kHz, not \"%2\".")
                     .arg(option, value));
            return;
        }
        hz = static_cast<int>(std::lround(number < 50 ? number * 1000 : number));
    }

    void resample(const QString &option, const QString &value, int hz) {
        static constexpr std::array<int, 9> rates{8000,  11025, 12000, 16000, 22050,
                                                  24000, 32000, 44100, 48000};
        for (int rate : rates) {
            // 11.025 and 22.05 are often written 11 and 22.
            if (std::abs(rate - hz) <= 100) {
                m_s.outputSampleRate = rate;
                return;
            }
        }
        fail(QStringLiteral("\"%1\" given to option \"%2\" is not an MP3 sample rate (8, 11.025, 12, 16, "
                            "22.05, 24, 32, 44.1 or 48 kHz).")
                 .arg(value, option));
    }

    QStringList m_args;
    qsizetype m_pos = 0;
    LameSettings m_s;
    QString m_error;
};

} // namespace

LameCommandLineResult parseLameCommandLine(const QString &commandLine, const LameSettings &base) {
    LameCommandLineResult result = CommandLineReader(commandLine, base).run();
    if (!result.ok())
        result.settings = base;
    return result;
}

void AudioFile2LameEnc::SetCommandLine(const QString &text) {
    m_commandLine = text;
}

void AudioFile2LameEnc::SetPreset(int preset) {
    if (preset >= Phone && preset <= R3Mix)
        applyClassicPreset(m_settings, preset);
}

void AudioFile2LameEnc::SetAltPreset(int altPreset) {
    if (altPreset >= FastStandard && altPreset <= Insane)
        applyAltPreset(m_settings, altPreset);
}

void AudioFile2LameEnc::SetVbrBitrate(int kbps) {
    m_settings.vbrMaxKbps = std::max(kbps, 0);
}

void AudioFile2LameEnc::SetVbrQuality(int quality) {
    m_settings.vbrQuality = std::clamp(quality, 0, 9);
}

void AudioFile2LameEnc::SetVbrMethod(int method) {
    switch (method) {
    case 0:
    case 3:
        m_settings.vbrMethod = VbrMethod::Mtrh;
        break;
    case 1:
        m_settings.vbrMethod = VbrMethod::Old;
        break;
    case 2:
        m_settings.vbrMethod = VbrMethod::New;
        break;
    default:
        m_settings.vbrMethod = VbrMethod::None;
        break;
    }
}

void AudioFile2LameEnc::SetChannelMode(int mode) {
    switch (mode) {
    case 1:
        m_settings.channelMode = ChannelMode::Stereo;
        break;
    case 2:
        m_settings.channelMode = ChannelMode::JointStereo;
        break;
    case 3:
        m_settings.channelMode = ChannelMode::ForcedJointStereo;
        break;
    case 4:
        m_settings.channelMode = ChannelMode::DualChannel;
        break;
    default:
        m_settings.channelMode = ChannelMode::Default;
        break;
    }
}

void AudioFile2LameEnc::SetQuality(int quality) {
    m_settings.quality = std::clamp(quality, 0, 9);
}

void AudioFile2LameEnc::SetWriteVbrHeader(bool on) {
    m_settings.writeVbrHeader = on;
}

void AudioFile2LameEnc::SetBitReservoir(bool on) {
    m_settings.bitReservoir = on;
}

void AudioFile2LameEnc::SetAllowMixedBlocks(bool on) {
    m_settings.allowMixedBlocks = on;
}

void AudioFile2LameEnc::SetShortBlocks(bool on) {
    m_settings.shortBlocks = on;
}

void AudioFile2LameEnc::SetDeEmphasis(int mode) {
    m_settings.deEmphasis = mode == 1   ? LameSettings::DeEmphasis::Us50_15
                            : mode == 2 ? LameSettings::DeEmphasis::CcittJ17
                                        : LameSettings::DeEmphasis::None;
}

void AudioFile2LameEnc::SetStrictIso(bool on) {
    m_settings.strictIso = on;
}

void AudioFile2LameEnc::SetEnforceMinBitrate(bool on) {
    m_settings.enforceMinBitrate = on;
}

void AudioFile2LameEnc::SetAthControl(int mode) {
    m_settings.ath = mode == 1   ? Ath::Only
                     : mode == 2 ? Ath::Disabled
                     : mode == 3 ? Ath::ShortBlocksOnly
                                 : Ath::Default;
}

void AudioFile2LameEnc::SetLowpassFrequency(int hz) {
    m_settings.lowpassHz = hz < 0 ? -1 : hz;
}

void AudioFile2LameEnc::SetHighpassFrequency(int hz) {
    m_settings.highpassHz = hz < 0 ? -1 : hz;
}

void AudioFile2LameEnc::SetLowpassWidth(int hz) {
    m_settings.lowpassWidthHz = hz < 0 ? -1 : hz;
}

void AudioFile2LameEnc::SetHighpassWidth(int hz) {
    m_settings.highpassWidthHz = hz < 0 ? -1 : hz;
}

void AudioFile2LameEnc::SetCrc(bool on) {
    m_settings.crc = on;
}

void AudioFile2LameEnc::SetSampleRate(int hz) {
    m_settings.outputSampleRate = std::max(hz, 0);
}

void AudioFile2LameEnc::SetMono(int mono) {
    if (mono != 0)
        m_settings.channelMode = ChannelMode::Mono;
    else if (m_settings.channelMode == ChannelMode::Mono)
        m_settings.channelMode = ChannelMode::Default;
}

void AudioFile2LameEnc::SetBitrate(int kbps) {
    m_settings.bitrateKbps = kbps;
}

LameCommandLineResult AudioFile2LameEnc::effectiveSettings() const {
    if (m_commandLine.trimmed().isEmpty())
        return {m_settings, QString()};
    return parseLameCommandLine(m_commandLine, m_settings);
}

} // namespace varnelo
