#pragma once
#include <QDate>
#include <QLatin1String>
#include <QString>
#include <QStringList>
#include <QTime>
#include <array>
#include <span>

namespace varnelo {

class SettingsFile;

// The sections and keys of the settings file ("temp.ini"), each with its one
// default: the options dialog, the encoder set-up, the ripper and the window
// all read a key through this list, so a missing key means the same everywhere.
// No other file names a section or key.
namespace keys {

enum class KeyType { Int, Bool, String, Time, Date };

struct IntKey {
    QLatin1String section;
    QLatin1String key;
    int def;
};
struct BoolKey {
    QLatin1String section;
    QLatin1String key;
    bool def;
};
// String, time and date keys. Where the default is no constant (folders, "now")
// `def` is empty and readers supply it.
struct TextKey {
    QLatin1String section;
    QLatin1String key;
    KeyType type;
    QLatin1String def{};
};

using L = QLatin1String;

// Section mp3 (page "Set MP3 General")
constexpr IntKey Mp3Bitrate{L("mp3"), L("bitrate"), 9};
constexpr IntKey Mp3Channel{L("mp3"), L("channel"), 1};
constexpr IntKey Mp3Frequency{L("mp3"), L("frequency"), 7};
constexpr IntKey Mp3Quality{L("mp3"), L("quality"), 5};
// Section MP3VBR
constexpr IntKey VbrCodingMethod{L("MP3VBR"), L("Coding Method"), 0};
constexpr IntKey VbrBitrate{L("MP3VBR"), L("vbr bitrate"), 9};
constexpr IntKey VbrQuality{L("MP3VBR"), L("vbr quality"), 5};
constexpr BoolKey VbrWriteHeader{L("MP3VBR"), L("vbrck"), true};
constexpr BoolKey VbrEnforceMin{L("MP3VBR"), L("semb"), false};
// Section MP3Filt
constexpr BoolKey FiltHighOn{L("MP3Filt"), L("chHFilt"), false};
constexpr BoolKey FiltLowOn{L("MP3Filt"), L("chLFilt"), false};
constexpr IntKey FiltHighFreq{L("MP3Filt"), L("udHFiltF"), 30};
constexpr IntKey FiltHighWidth{L("MP3Filt"), L("udHFiltW"), 5};
constexpr IntKey FiltLowFreq{L("MP3Filt"), L("udLFiltF"), 15160};
constexpr IntKey FiltLowWidth{L("MP3Filt"), L("udLFiltW"), 750};
// Section MP3Expert
constexpr BoolKey ExpertBitReservoir{L("MP3Expert"), L("Bit"), true};
constexpr BoolKey ExpertShortBlocks{L("MP3Expert"), L("short"), true};
constexpr BoolKey ExpertAllowMixed{L("MP3Expert"), L("allow"), false};
constexpr BoolKey ExpertComply{L("MP3Expert"), L("comply"), false};
constexpr BoolKey ExpertCrc{L("MP3Expert"), L("crc"), false};
constexpr IntKey ExpertAth{L("MP3Expert"), L("ath"), 0};
constexpr IntKey ExpertDeEmphasis{L("MP3Expert"), L("de"), 0};
// Section MP3Prest
constexpr BoolKey PresetOn{L("MP3Prest"), L("preset"), false};
constexpr BoolKey AltPresetOn{L("MP3Prest"), L("alt"), false};
constexpr IntKey PresetIndex{L("MP3Prest"), L("rg_prest"), 0};
constexpr IntKey AltPresetIndex{L("MP3Prest"), L("rg_alt"), 0};
// Section wav
constexpr IntKey WavMode{L("wav"), L("mode"), 0};
constexpr IntKey WavBit{L("wav"), L("bit"), 5};
constexpr IntKey WavChannel{L("wav"), L("channel"), 1};
constexpr IntKey WavFrequency{L("wav"), L("frequency"), 7};
// Section wma
constexpr IntKey WmaFormat{L("wma"), L("format"), 46};
// Section ogg
constexpr IntKey OggChannel{L("ogg"), L("channel"), 1};
constexpr IntKey OggFrequency{L("ogg"), L("frequency"), 7};
constexpr IntKey OggBitrate{L("ogg"), L("bitrate"), 9};
constexpr IntKey OggMaxBitrate{L("ogg"), L("max bitrate"), 9};
constexpr IntKey OggMinBitrate{L("ogg"), L("min bitrate"), 9};
constexpr IntKey OggQuality{L("ogg"), L("quality"), 300};
constexpr BoolKey OggVbr{L("ogg"), L("oggvbr"), false};
constexpr BoolKey OggQualityMode{L("ogg"), L("oggquality"), false};
// Section Format (ripper, "CD setting").
constexpr IntKey GrabModeKey{L("Format"), L("mode"), 0};
constexpr IntKey GrabRetries{L("Format"), L("retries"), 5};
constexpr IntKey GrabStop{L("Format"), L("stop"), 0};
// The drive's read offset in samples (as the drive offset lists give it).
constexpr IntKey ReadOffsetKey{L("Format"), L("offset"), 0};
// Test and copy: every track read twice and the reads compared.
constexpr BoolKey SecureCopyKey{L("Format"), L("secure"), false};
// A read offset past the disc's end reads the drive's lead-out (overread).
constexpr BoolKey OverreadKey{L("Format"), L("overread"), false};
// Section Freedb: read only by the dialog.
constexpr IntKey FreedbSite{L("Freedb"), L("site"), 0};
constexpr IntKey FreedbToServer{L("Freedb"), L("toserver"), 1};
constexpr TextKey FreedbPort{L("Freedb"), L("port"), KeyType::String, L("80")};
constexpr TextKey FreedbTimeout{L("Freedb"), L("timeout"), KeyType::String, L("10000")}; // ms
constexpr TextKey FreedbProxy{L("Freedb"), L("proxy"), KeyType::String};                 // ""
// Section auto
constexpr BoolKey AutoOpen{L("auto"), L("open"), true};
// Section desktop: notices on the desktop (title changes, ends of recordings,
// conversions and rips).
constexpr BoolKey DesktopNotify{L("desktop"), L("notify"), true};
// Section set: out_formt is written only, never read back.
constexpr IntKey SetOutName{L("set"), L("out_name"), 0};
constexpr IntKey SetOutFormat{L("set"), L("out_formt"), 0};
// The output volume in per cent, as the window left it.
constexpr IntKey Volume{L("set"), L("volume"), 100};
// The main window's size as it was left; 0 for the skin's own (smallest) size.
constexpr IntKey WindowWidth{L("set"), L("width"), 0};
constexpr IntKey WindowHeight{L("set"), L("height"), 0};
// ReplayGain on local playback: 0 off, 1 track gain, 2 album gain (track where none).
constexpr IntKey PlaybackGain{L("set"), L("playback gain"), 0};
// A library scan enters sub-folders (the folder browser's "Include sub-folders").
constexpr BoolKey ScanSubfolders{L("library"), L("subfolders"), true};
// The address of the station that played last: what the schedule records.
constexpr TextKey LastStation{L("set"), L("last station"), KeyType::String};
// Shutdown time and switch (read by start-up and the clock, written by the dialog).
constexpr TextKey ShutdownTime{L("Time"), L("Time"), KeyType::Time};
constexpr BoolKey ShutdownOn{L("timeclose"), L("bclose"), false};
// Section autorec (recording schedule)
constexpr IntKey ScheduleFormat{L("autorec"), L("format"), 0};
constexpr TextKey ScheduleDate{L("autorec"), L("date"), KeyType::Date};
constexpr std::array<TextKey, 3> ScheduleBegin{{{L("autorec"), L("begintime1"), KeyType::Time},
                                                {L("autorec"), L("begintime2"), KeyType::Time},
                                                {L("autorec"), L("begintime3"), KeyType::Time}}};
constexpr std::array<TextKey, 3> ScheduleEnd{{{L("autorec"), L("endtime1"), KeyType::Time},
                                              {L("autorec"), L("endtime2"), KeyType::Time},
                                              {L("autorec"), L("endtime3"), KeyType::Time}}};
constexpr std::array<BoolKey, 3> ScheduleSlotOn{
    {{L("autorec"), L("cb1"), false}, {L("autorec"), L("cb2"), false}, {L("autorec"), L("cb3"), false}}};
// Section rec (page "Set Record", tab "Recording Source"): how recordings are made.
constexpr BoolKey RecordSplitByTitle{L("rec"), L("split"), false};
constexpr BoolKey RecordAsBroadcast{L("rec"), L("broadcast"), false};
// Keys written outside the options dialog.
constexpr TextKey OutputFolderKey{L("video"), L("path"), KeyType::String};
constexpr TextKey RecordDevice{L("rd"), L("rd"), KeyType::Int}; // default from the recorder
constexpr std::array<BoolKey, 4> Associations{{{L("assoc"), L("mp3"), false},
                                               {L("assoc"), L("wav"), false},
                                               {L("assoc"), L("ogg"), false},
                                               {L("assoc"), L("wma"), false}}};
constexpr TextKey AddPath{L("File Manager"), L("add path"), KeyType::String};
// The disc image chosen in the options' drive list, listed as a drive at start.
constexpr TextKey DiscImagePath{L("Format"), L("image"), KeyType::String};
// The station directory server ("https://host"); empty: found through the DNS.
constexpr TextKey DirectoryServer{L("directory"), L("server"), KeyType::String};
// Section flac: bits 0 as the source, 1 16 bits, 2 24 bits; level 0..8.
constexpr IntKey FlacBits{L("flac"), L("bits"), 0};
constexpr IntKey FlacLevel{L("flac"), L("level"), 5};
// Section opus: bit rate in kbps, mode 0 VBR, 1 constrained VBR, 2 CBR; complexity 0..10.
constexpr IntKey OpusBitrate{L("opus"), L("bitrate"), 128};
constexpr IntKey OpusMode{L("opus"), L("mode"), 0};
constexpr IntKey OpusComplexity{L("opus"), L("complexity"), 10};

// One row of the complete key table, for listing and checking it as data.
struct KeyInfo {
    QLatin1String section;
    QLatin1String key;
    KeyType type;
    QString def; // as text; for text keys the reader's default in words
};
std::span<const KeyInfo> keyTable();

// Typed reads (through the key's default) and writes.
int read(const SettingsFile &file, const IntKey &key);
bool read(const SettingsFile &file, const BoolKey &key);
void write(SettingsFile &file, const IntKey &key, int value);
void write(SettingsFile &file, const BoolKey &key, bool value);
// Text keys: through the key's default, or the one the reader gives.
QString read(const SettingsFile &file, const TextKey &key);
QString read(const SettingsFile &file, const TextKey &key, const QString &def);
int readInteger(const SettingsFile &file, const TextKey &key, int def);
QTime readTime(const SettingsFile &file, const TextKey &key, const QTime &def);
QDate readDate(const SettingsFile &file, const TextKey &key, const QDate &def);
void write(SettingsFile &file, const TextKey &key, const QString &value);
void writeInteger(SettingsFile &file, const TextKey &key, int value);
void writeTime(SettingsFile &file, const TextKey &key, const QTime &value);
void writeDate(SettingsFile &file, const TextKey &key, const QDate &value);
QString name(QLatin1String text);

} // namespace keys

// The lookup tables that turn stored list indices into encoder numbers.
constexpr std::array<int, 15> BitrateTable{8, 16, 24, 32, 48, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
constexpr std::array<int, 9> FrequencyTable{8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
constexpr std::array<int, 7> SampleBitsTable{2, 3, 4, 5, 8, 16, 32};
// The ten rates of the WAV and OGG frequency lists.
constexpr std::array<int, 10> OutputRateTable{6000,  8000,  11025, 12000, 16000,
                                              22050, 24000, 32000, 44100, 48000};

// Table entry `index`; an index outside the table (a hand-edited or damaged
// settings file) takes entry `fallbackIndex`, the reader's default, rather
// than reading past the table.
template <std::size_t N> int tableEntry(const std::array<int, N> &table, int index, int fallbackIndex) {
    if (index < 0 || index >= static_cast<int>(N))
        index = fallbackIndex;
    return table[static_cast<std::size_t>(index)];
}

// Default output folder. Both historical defaults ("C:\music" for the dialog and
// the folder browser, "C:\My Music" for the converter, ripper and recorder) are
// the user's Music folder here.
QString defaultOutputFolder();
// OutputFolder as the converter, ripper and recorder read it: `video`/`path`,
// ending in a separator.
QString readOutputFolder(const SettingsFile &file);

// Item lists shared by the dialog and command-line tools.
QStringList bitrateItems();
QStringList wmaProfileItems(); // the 47 profiles; stored value = index, profile number = index + 1
QStringList freedbSiteItems(); // 11 mirrors, the first is the default

} // namespace varnelo
