#include "common/SettingsKeys.h"

#include "common/SettingsFile.h"

#include <QDir>
#include <QStandardPaths>

namespace varnelo {
namespace keys {
namespace {

constexpr KeyInfo row(const IntKey &k, QLatin1String dialog, QLatin1String other) {
    return {k.section, k.key, KeyType::Int, dialog, other};
}
constexpr KeyInfo row(const BoolKey &k, QLatin1String dialog, QLatin1String other) {
    return {k.section, k.key, KeyType::Bool, dialog, other};
}
constexpr KeyInfo row(const TextKey &k, QLatin1String dialog, QLatin1String other) {
    return {k.section, k.key, k.type, dialog, other};
}

const L none("");
const L now("now");
const L music("Music folder");

const KeyInfo table[] = {
    row(Mp3Bitrate, L("9"), L("9")),
    row(Mp3Channel, L("1"), L("1")),
    row(Mp3Frequency, L("7"), L("7")),
    row(Mp3Quality, L("5"), L("5")),
    row(VbrCodingMethod, L("0"), L("0")),
    row(VbrBitrate, L("9"), L("9")),
    row(VbrQuality, L("5"), L("5")),
    row(VbrWriteHeader, L("1"), L("1")),
    row(VbrEnforceMin, L("0"), L("0")),
    row(FiltHighOn, L("0"), L("0")),
    row(FiltLowOn, L("0"), L("0")),
    row(FiltHighFreq, L("30"), L("30")),
    row(FiltHighWidth, L("5"), L("5")),
    row(FiltLowFreq, L("15160"), L("15160")),
    row(FiltLowWidth, L("750"), L("750")),
    row(ExpertBitReservoir, L("1"), L("1")),
    row(ExpertShortBlocks, L("1"), L("1")),
    row(ExpertAllowMixed, L("0"), L("0")),
    row(ExpertComply, L("0"), L("0")),
    row(ExpertCrc, L("0"), L("0")),
    row(ExpertAth, L("0"), L("0")),
    row(ExpertDeEmphasis, L("0"), L("0")),
    row(PresetOn, L("0"), L("0")),
    row(AltPresetOn, L("0"), L("0")),
    row(PresetIndex, L("0"), L("0")),
    row(AltPresetIndex, L("0"), L("0")),
    row(WavMode, L("0"), L("0")),
    row(WavBit, L("5"), L("1")),
    row(WavChannel, L("1"), L("1")),
    row(WavFrequency, L("7"), L("7")),
    row(WmaFormat, L("46"), L("9")),
    row(OggChannel, L("1"), L("1")),
    row(OggFrequency, L("7"), L("7")),
    row(OggBitrate, L("9"), L("9")),
    row(OggMaxBitrate, L("9"), L("9")),
    row(OggMinBitrate, L("9"), L("9")),
    row(OggQuality, L("300"), L("300")),
    row(OggVbr, L("0"), L("0")),
    row(OggQualityMode, L("0"), L("0")),
    row(GrabModeKey, L("0"), L("1")),
    row(GrabRetries, L("5"), L("1")),
    row(GrabStop, L("0"), L("0")),
    row(FreedbSite, L("0"), none),
    row(FreedbToServer, L("1"), none),
    row(FreedbPort, L("80"), none),
    row(FreedbTimeout, L("10000"), none),
    row(FreedbProxy, none, none),
    row(AutoOpen, L("1"), none),
    row(DesktopNotify, L("1"), L("1")),
    row(SetOutName, L("0"), none),
    row(SetOutFormat, none, none),
    row(ShutdownTime, now, now),
    row(ShutdownOn, none, L("0")),
    row(ScheduleFormat, L("0"), none),
    row(ScheduleDate, now, none),
    row(ScheduleBegin[0], now, none),
    row(ScheduleBegin[1], now, none),
    row(ScheduleBegin[2], now, none),
    row(ScheduleEnd[0], now, none),
    row(ScheduleEnd[1], now, none),
    row(ScheduleEnd[2], now, none),
    row(ScheduleSlotOn[0], L("0"), none),
    row(ScheduleSlotOn[1], L("0"), none),
    row(ScheduleSlotOn[2], L("0"), none),
    row(RecordSplitByTitle, L("0"), none),
    row(RecordAsBroadcast, L("0"), none),
    row(OutputFolderKey, music, music),
    row(RecordDevice, none, L("recorder's default")),
    row(Associations[0], none, L("0")),
    row(Associations[1], none, L("0")),
    row(Associations[2], none, L("0")),
    row(Associations[3], none, L("0")),
    row(AddPath, none, L("program folder")),
    row(DiscImagePath, none, none),
    row(FlacBits, L("0"), L("0")),
    row(FlacLevel, L("5"), L("5")),
    row(OpusBitrate, L("128"), L("128")),
    row(OpusMode, L("0"), L("0")),
    row(OpusComplexity, L("10"), L("10")),
};

} // namespace

std::span<const KeyInfo> keyTable() {
    return table;
}

QString name(QLatin1String text) {
    return QString(text);
}

int readDialog(const SettingsFile &file, const IntKey &key) {
    return file.readInteger(name(key.section), name(key.key), key.dialogDefault);
}
int readOther(const SettingsFile &file, const IntKey &key) {
    return file.readInteger(name(key.section), name(key.key), key.readerDefault);
}
bool readDialog(const SettingsFile &file, const BoolKey &key) {
    return file.readBool(name(key.section), name(key.key), key.dialogDefault);
}
bool readOther(const SettingsFile &file, const BoolKey &key) {
    return file.readBool(name(key.section), name(key.key), key.readerDefault);
}

} // namespace keys

QString defaultOutputFolder() {
    QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (music.isEmpty())
        music = QDir::home().filePath(QStringLiteral("Music"));
    return QDir::toNativeSeparators(music);
}

QString readOutputFolder(const SettingsFile &file) {
    QString folder = file.readString(keys::name(keys::OutputFolderKey.section),
                                     keys::name(keys::OutputFolderKey.key), defaultOutputFolder());
    if (!folder.endsWith(QDir::separator()))
        folder += QDir::separator();
    return folder;
}

QStringList bitrateItems() {
    QStringList items;
    for (int kbps : BitrateTable)
        items << QStringLiteral("%1 Kbps").arg(kbps);
    return items;
}

QStringList wmaProfileItems() {
    static const char *const names[] = {
        "WMA9 48KHz, 192Kbps, Stereo, CBR",   "WMA9 48KHz, 160Kbps, Stereo, CBR",
        "WMA9 48KHz, 128Kbps, Stereo, CBR",   "WMA9 48KHz, 96Kbps, Stereo, CBR",
        "WMA9 48KHz, 64Kbps, Stereo, CBR",    "WMA9 44KHz, 320Kbps, Stereo, CBR",
        "WMA9 44KHz, 256Kbps, Stereo, CBR",   "WMA9 44KHz, 192Kbps, Stereo, CBR",
        "WMA9 44KHz, 160Kbps, Stereo, CBR",   "WMA9 44KHz, 128Kbps, Stereo, CBR",
        "WMA9 44KHz, 96Kbps, Stereo, CBR",    "WMA9 44KHz, 80Kbps, Stereo, CBR",
        "WMA9 44KHz, 64Kbps, Stereo, CBR",    "WMA9 44KHz, 48Kbps, Stereo, CBR",
        "WMA9 44KHz, 32Kbps, Stereo, CBR",    "WMA9 44KHz, 48Kbps, Mono, CBR",
        "WMA9 44KHz, 32Kbps, Mono, CBR",      "WMA9 44KHz, 20Kbps, Mono, CBR",
        "WMA9 32KHz, 48Kbps, Stereo, CBR",    "WMA9 32KHz, 40Kbps, Stereo, CBR",
        "WMA9 32KHz, 32Kbps, Stereo, CBR",    "WMA9 32KHz, 20Kbps, Mono, CBR",
        "WMA9 32KHz, 32Kbps, Stereo, CBR",    "WMA9 32KHz, 22Kbps, Stereo, CBR",
        "WMA9 22KHz, 20Kbps, Stereo, CBR",    "WMA9 22KHz, 20Kbps, Mono, CBR",
        "WMA9 22KHz, 16Kbps, Mono, CBR",      "WMA9 16KHz, 20Kbps, Stereo, CBR",
        "WMA9 16KHz, 16Kbps, Stereo, CBR",    "WMA9 16KHz, 16Kbps, Mono, CBR",
        "WMA9 16KHz, 12Kbps, Mono, CBR",      "WMA9 16KHz, 10Kbps, Mono, CBR",
        "WMA9 11KHz, 10Kbps, Mono, CBR",      "WMA9 11KHz, 8Kbps, Mono, CBR",
        "WMA9 8KHz,  12Kbps, Stereo, CBR",    "WMA9 8KHz,  8Kbps, Mono, CBR",
        "WMA9 8KHz,  6Kbps, Mono, CBR",       "WMA9 8KHz,  5Kbps, Mono, CBR",
        "WMA9 48KHz, Stereo, VBR Quality 98", "WMA9 48KHz, Stereo, VBR Quality 90",
        "WMA9 44KHz, Stereo, VBR Quality 98", "WMA9 44KHz, Stereo, VBR Quality 90",
        "WMA9 44KHz, Stereo, VBR Quality 75", "WMA9 44KHz, Stereo, VBR Quality 50",
        "WMA9 44KHz, Stereo, VBR Quality 25", "WMA9 44KHz, Stereo, VBR Quality 10",
        "WMA9 44KHz, Stereo, Lossless",
    };
    QStringList items;
    for (const char *n : names)
        items << QString::fromLatin1(n);
    return items;
}

QStringList freedbSiteItems() {
    return {QStringLiteral("gnudb.gnudb.org"),   QStringLiteral("freedb.dbpoweramp.com"),
            QStringLiteral("gnudb.org"),         QStringLiteral("www.gnudb.org"),
            QStringLiteral("freedb.freedb.org"), QStringLiteral("us.freedb.org"),
            QStringLiteral("ca.freedb.org"),     QStringLiteral("de.freedb.org"),
            QStringLiteral("at.freedb.org"),     QStringLiteral("uk.freedb.org"),
            QStringLiteral("ru.freedb.org")};
}

} // namespace varnelo
