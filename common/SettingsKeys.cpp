#include "common/SettingsKeys.h"

#include "common/SettingsFile.h"

#include <QDir>
#include <QStandardPaths>
#include <vector>

namespace varnelo {
namespace keys {
namespace {

KeyInfo row(const IntKey &k) {
    return {k.section, k.key, KeyType::Int, QString::number(k.def)};
}
KeyInfo row(const BoolKey &k) {
    return {k.section, k.key, KeyType::Bool, QString::number(int(k.def))};
}
KeyInfo row(const TextKey &k, QLatin1String def) {
    return {k.section, k.key, k.type, QString(def)};
}

const L none("");
const L now("now");
const L music("Music folder");

const std::vector<KeyInfo> table = {
    row(Mp3Bitrate),
    row(Mp3Channel),
    row(Mp3Frequency),
    row(Mp3Quality),
    row(VbrCodingMethod),
    row(VbrBitrate),
    row(VbrQuality),
    row(VbrWriteHeader),
    row(VbrEnforceMin),
    row(FiltHighOn),
    row(FiltLowOn),
    row(FiltHighFreq),
    row(FiltHighWidth),
    row(FiltLowFreq),
    row(FiltLowWidth),
    row(ExpertBitReservoir),
    row(ExpertShortBlocks),
    row(ExpertAllowMixed),
    row(ExpertComply),
    row(ExpertCrc),
    row(ExpertAth),
    row(ExpertDeEmphasis),
    row(PresetOn),
    row(AltPresetOn),
    row(PresetIndex),
    row(AltPresetIndex),
    row(WavMode),
    row(WavBit),
    row(WavChannel),
    row(WavFrequency),
    row(WmaFormat),
    row(OggChannel),
    row(OggFrequency),
    row(OggBitrate),
    row(OggMaxBitrate),
    row(OggMinBitrate),
    row(OggQuality),
    row(OggVbr),
    row(OggQualityMode),
    row(FlacBits),
    row(FlacLevel),
    row(OpusBitrate),
    row(OpusMode),
    row(OpusComplexity),
    row(GrabModeKey),
    row(GrabRetries),
    row(GrabStop),
    row(ReadOffsetKey),
    row(SecureCopyKey),
    row(OverreadKey),
    row(FreedbSite),
    row(FreedbToServer),
    row(FreedbPort, FreedbPort.def),
    row(FreedbTimeout, FreedbTimeout.def),
    row(FreedbProxy, none),
    row(AutoOpen),
    row(DesktopNotify),
    row(SetOutName),
    row(SetOutFormat),
    row(Volume),
    row(WindowWidth),
    row(WindowHeight),
    row(LastStation, none),
    row(ScanSubfolders),
    row(PlaybackGain),
    row(ShutdownTime, now),
    row(ShutdownOn),
    row(ScheduleFormat),
    row(ScheduleDate, now),
    row(ScheduleBegin[0], now),
    row(ScheduleBegin[1], now),
    row(ScheduleBegin[2], now),
    row(ScheduleEnd[0], now),
    row(ScheduleEnd[1], now),
    row(ScheduleEnd[2], now),
    row(ScheduleSlotOn[0]),
    row(ScheduleSlotOn[1]),
    row(ScheduleSlotOn[2]),
    row(RecordSplitByTitle),
    row(RecordAsBroadcast),
    row(OutputFolderKey, music),
    row(RecordDevice, L("recorder's default")),
    row(Associations[0]),
    row(Associations[1]),
    row(Associations[2]),
    row(Associations[3]),
    row(AddPath, L("program folder")),
    row(DiscImagePath, none),
    row(DirectoryServer, none),
};

} // namespace

std::span<const KeyInfo> keyTable() {
    return table;
}

QString name(QLatin1String text) {
    return QString(text);
}

int read(const SettingsFile &file, const IntKey &key) {
    return file.readInteger(name(key.section), name(key.key), key.def);
}
bool read(const SettingsFile &file, const BoolKey &key) {
    return file.readBool(name(key.section), name(key.key), key.def);
}
void write(SettingsFile &file, const IntKey &key, int value) {
    file.writeInteger(name(key.section), name(key.key), value);
}
void write(SettingsFile &file, const BoolKey &key, bool value) {
    file.writeBool(name(key.section), name(key.key), value);
}
QString read(const SettingsFile &file, const TextKey &key) {
    return read(file, key, QString(key.def));
}
QString read(const SettingsFile &file, const TextKey &key, const QString &def) {
    return file.readString(name(key.section), name(key.key), def);
}
int readInteger(const SettingsFile &file, const TextKey &key, int def) {
    return file.readInteger(name(key.section), name(key.key), def);
}
QTime readTime(const SettingsFile &file, const TextKey &key, const QTime &def) {
    return file.readTime(name(key.section), name(key.key), def);
}
QDate readDate(const SettingsFile &file, const TextKey &key, const QDate &def) {
    return file.readDate(name(key.section), name(key.key), def);
}
void write(SettingsFile &file, const TextKey &key, const QString &value) {
    file.writeString(name(key.section), name(key.key), value);
}
void writeInteger(SettingsFile &file, const TextKey &key, int value) {
    file.writeInteger(name(key.section), name(key.key), value);
}
void writeTime(SettingsFile &file, const TextKey &key, const QTime &value) {
    file.writeTime(name(key.section), name(key.key), value);
}
void writeDate(SettingsFile &file, const TextKey &key, const QDate &value) {
    file.writeDate(name(key.section), name(key.key), value);
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
        "WMA9 48KHz, 192Kbps, Stereo, CBR",     "WMA9 48KHz, 160Kbps, Stereo, CBR",
        "WMA9 48KHz, 128Kbps, Stereo, CBR",     "WMA9 48KHz, 96Kbps, Stereo, CBR",
        "WMA9 48KHz, 64Kbps, Stereo, CBR",      "WMA9 44KHz, 320Kbps, Stereo, CBR",
        "WMA9 44KHz, 256Kbps, Stereo, CBR",     "WMA9 44KHz, 192Kbps, Stereo, CBR",
        "WMA9 44KHz, 160Kbps, Stereo, CBR",     "WMA9 44KHz, 128Kbps, Stereo, CBR",
        "WMA9 44KHz, 96Kbps, Stereo, CBR",      "WMA9 44KHz, 80Kbps, Stereo, CBR",
        "WMA9 44KHz, 64Kbps, Stereo, CBR",      "WMA9 44KHz, 48Kbps, Stereo, CBR",
        "WMA9 44KHz, 32Kbps, Stereo, CBR",      "WMA9 44KHz, 48Kbps, Mono, CBR",
        "WMA9 44KHz, 32Kbps, Mono, CBR",        "WMA9 44KHz, 20Kbps, Mono, CBR",
        "WMA9 32KHz, 48Kbps, Stereo, CBR",      "WMA9 32KHz, 40Kbps, Stereo, CBR",
        "WMA9 32KHz, 32Kbps, Stereo, CBR",      "WMA9 32KHz, 20Kbps, Mono, CBR",
        "WMA9 32KHz, 32Kbps, Stereo, CBR",      "WMA9 32KHz, 22Kbps, Stereo, CBR",
        "WMA9 22KHz, 20Kbps, Stereo, CBR",      "WMA9 22KHz, 20Kbps, Mono, CBR",
        "WMA9 22KHz, 16Kbps, Mono, CBR",        "WMA9 16KHz, 20Kbps, Stereo, CBR",
        "WMA9 16KHz, 16Kbps, Stereo, CBR",      "WMA9 16KHz, 16Kbps, Mono, CBR",
        "WMA9 16KHz, 12Kbps, Mono, CBR",        "WMA9 16KHz, 10Kbps, Mono, CBR",
        "WMA9 11KHz, 10Kbps, Mono, CBR",        "WMA9 11KHz, 8Kbps, Mono, CBR",
        "WMA9 8KHz,  12Kbps, Stereo, CBR",      "WMA9 8KHz,  8Kbps, Mono, CBR",
        "WMA9 8KHz,  6Kbps, Mono, CBR",         "WMA9 8KHz,  5Kbps, Mono, CBR",
        "WMA9 48KHz, Stereo, VBR Quality 98",   "WMA9 48KHz, Stereo, VBR Quality 90",
        "WMA9 44KHz, Stereo, VBR Quality 98",   "WMA9 44KHz, Stereo, VBR Quality 90",
        "WMA9 44KHz, Stereo, VBR Quality 75",   "WMA9 44KHz, Stereo, VBR Quality 50",
        "WMA9 44KHz, Stereo, VBR Quality 25",   "WMA9 44KHz, Stereo, VBR Quality 10",
        "WMA9 44KHz, Stereo, 320Kbps, highest",
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
