// Reading every source format through AudioFile: format facts, exact length
// where the container knows it, exact seeking, precision and bad input.
#include "Fixtures.h"

#include <QFile>
#include <gtest/gtest.h>

#include <map>

using namespace varnelo;
using namespace varnelo::test;

namespace {

struct SourceCase {
    const char *name;
    const char *file;
    int rate;
    int channels;
    QStringList codecArgs;  // ffmpeg codec arguments; empty = made by another tool
    qint64 lengthSlack;     // frames Length() may differ from the decoded count
    double durationSlackMs; // how far the decoded length may be from the tone's
    double seekTolerance;   // largest difference after a seek, full scale = 1
};

constexpr double Seconds = 1.5;
constexpr double Hz = 1000;

const std::vector<SourceCase> &cases() {
    static const std::vector<SourceCase> list{
        {"wav16", "t16.wav", 44100, 2, {QStringLiteral("-c:a"), QStringLiteral("pcm_s16le")}, 0, 0, 0},
        {"wav8", "t8.wav", 22050, 1, {QStringLiteral("-c:a"), QStringLiteral("pcm_u8")}, 0, 0, 0},
        {"wav24", "t24.wav", 48000, 2, {QStringLiteral("-c:a"), QStringLiteral("pcm_s24le")}, 0, 0, 0},
        {"wav32", "t32.wav", 44100, 1, {QStringLiteral("-c:a"), QStringLiteral("pcm_s32le")}, 0, 0, 0},
        {"wavfloat", "tf.wav", 32000, 2, {QStringLiteral("-c:a"), QStringLiteral("pcm_f32le")}, 0, 0, 0},
        {"wavmsadpcm",
         "tms.wav",
         22050,
         2,
         {QStringLiteral("-c:a"), QStringLiteral("adpcm_ms")},
         2048,
         100,
         0},
        {"wavimaadpcm",
         "tima.wav",
         22050,
         1,
         {QStringLiteral("-c:a"), QStringLiteral("adpcm_ima_wav")},
         2048,
         100,
         0},
        {"wavg726",
         "tg726.wav",
         8000,
         1,
         {QStringLiteral("-c:a"), QStringLiteral("g726"), QStringLiteral("-code_size"), QStringLiteral("4")},
         0,
         5,
         0.002},
        {"flac", "t.flac", 44100, 2, {QStringLiteral("-c:a"), QStringLiteral("flac")}, 0, 0, 0},
        {"mp3lame", "lame.mp3", 44100, 2, {}, 0, 1, 0.002},
        {"mp3noinfo", "noinfo.mp3", 44100, 1, {}, 1152, 60, 0.002},
        {"mp2",
         "t.mp2",
         48000,
         2,
         {QStringLiteral("-c:a"), QStringLiteral("mp2"), QStringLiteral("-b:a"), QStringLiteral("192k")},
         1152,
         60,
         0.002},
        {"vorbis", "t.ogg", 44100, 2, {}, 0, 1, 0.002},
        {"wmav1",
         "t1.wma",
         44100,
         2,
         {QStringLiteral("-c:a"), QStringLiteral("wmav1"), QStringLiteral("-b:a"), QStringLiteral("128k")},
         2048,
         100,
         0.002},
        {"wmav2",
         "t2.wma",
         22050,
         1,
         {QStringLiteral("-c:a"), QStringLiteral("wmav2"), QStringLiteral("-b:a"), QStringLiteral("64k")},
         2048,
         100,
         0.002},
        {"m4a",
         "t.m4a",
         44100,
         2,
         {QStringLiteral("-c:a"), QStringLiteral("aac"), QStringLiteral("-b:a"), QStringLiteral("128k")},
         1024,
         50,
         0.01},
        {"opus",
         "t.opus",
         48000,
         2,
         {QStringLiteral("-c:a"), QStringLiteral("libopus"), QStringLiteral("-b:a"), QStringLiteral("96k")},
         0,
         1,
         0.05},
    };
    return list;
}

class SourceFormats : public ::testing::TestWithParam<SourceCase> {
public:
    static void SetUpTestSuite() {
        dir_ = new QTemporaryDir;
        for (const SourceCase &c : cases()) {
            QString path;
            if (!c.codecArgs.isEmpty()) {
                path = makeTone(*dir_, QString::fromLatin1(c.file), Hz, Seconds, c.rate, c.channels,
                                c.codecArgs);
            } else {
                const QString wav =
                    makeTone(*dir_, QString::fromLatin1(c.file) + QStringLiteral(".wav"), Hz, Seconds, c.rate,
                             c.channels, {QStringLiteral("-c:a"), QStringLiteral("pcm_s16le")});
                path = dir_->filePath(QString::fromLatin1(c.file));
                const QString name = QString::fromLatin1(c.name);
                if (name == QLatin1String("vorbis"))
                    runTool(QStringLiteral("oggenc"), {QStringLiteral("-Q"), QStringLiteral("-q"),
                                                       QStringLiteral("4"), wav, QStringLiteral("-o"), path});
                else if (name == QLatin1String("mp3lame"))
                    runTool(QStringLiteral("lame"), {QStringLiteral("--quiet"), QStringLiteral("-b"),
                                                     QStringLiteral("128"), wav, path});
                else // constant bit rate, no Xing/LAME frame: the length must be estimated
                    runTool(QStringLiteral("lame"), {QStringLiteral("--quiet"), QStringLiteral("-t"),
                                                     QStringLiteral("-b"), QStringLiteral("64"), wav, path});
            }
            (*files_)[QString::fromLatin1(c.name)] = path;
        }
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    static QString file(const SourceCase &c) { return files_->value(QString::fromLatin1(c.name)); }

    static QTemporaryDir *dir_;
    static std::unique_ptr<QMap<QString, QString>> files_;
};
QTemporaryDir *SourceFormats::dir_ = nullptr;
std::unique_ptr<QMap<QString, QString>> SourceFormats::files_ = std::make_unique<QMap<QString, QString>>();

TEST_P(SourceFormats, FormatLengthAndTone) {
    const SourceCase &c = GetParam();
    const QString path = file(c);
    ASSERT_TRUE(QFile::exists(path)) << "fixture not generated: " << c.name;
    AudioFile f;
    ASSERT_TRUE(f.OpenSource(path)) << f.ErrorText().toStdString();
    EXPECT_EQ(f.ErrorCode(), 0);
    EXPECT_TRUE(f.GetFileOpen());
    EXPECT_EQ(f.SampleRate(), c.rate);
    EXPECT_EQ(f.Channels(), c.channels);
    EXPECT_EQ(f.BlockAlign(), c.channels);
    const qint64 announced = f.Length();
    EXPECT_EQ(f.Duration(), announced * 1000 / c.rate);

    const SampleBlock all = readAll(f, 1000);
    ASSERT_EQ(all.size() % std::size_t(c.channels), 0u);
    const qint64 decoded = qint64(all.size()) / c.channels;
    EXPECT_NEAR(double(announced), double(decoded), double(c.lengthSlack)) << c.name;
    EXPECT_EQ(f.Length(), decoded) << "after the end the length is the decoded count";
    EXPECT_NEAR(decoded * 1000.0 / c.rate, Seconds * 1000, c.durationSlackMs) << c.name;
    EXPECT_TRUE(f.ReadSamples(100).empty());
    EXPECT_EQ(f.ErrorCode(), 0) << f.ErrorText().toStdString();
    for (int ch = 0; ch < c.channels; ++ch)
        EXPECT_NEAR(toneFrequency(all, c.channels, ch, c.rate), Hz, 2.0) << c.name << " channel " << ch;
    f.CloseFile();
    EXPECT_FALSE(f.GetFileOpen());
}

TEST_P(SourceFormats, SeekIsExactToTheFrame) {
    const SourceCase &c = GetParam();
    AudioFile f;
    ASSERT_TRUE(f.OpenSource(file(c))) << f.ErrorText().toStdString();
    const SampleBlock all = readAll(f);
    const qint64 frames = qint64(all.size()) / c.channels;
    const int ch = c.channels;
    // Backwards, forwards, within what is buffered, into the last block, and past the end.
    for (const qint64 target : {frames / 2 + 7, qint64(0), qint64(12345), qint64(12346), frames / 3,
                                frames - 700, qint64(1), frames + 5000}) {
        ASSERT_TRUE(f.Seek(target)) << c.name << " " << target;
        const SampleBlock got = f.ReadSamples(600);
        const qint64 expected = std::clamp<qint64>(frames - target, 0, 600);
        ASSERT_EQ(qint64(got.size()), expected * ch) << c.name << " seek to " << target;
        double worst = 0;
        for (std::size_t i = 0; i < got.size(); ++i)
            worst =
                std::max(worst, std::abs(double(got[i]) - all[std::size_t(target * ch) + i]) / 2147483648.0);
        EXPECT_LE(worst, c.seekTolerance) << c.name << " seek to " << target;
    }
}

INSTANTIATE_TEST_SUITE_P(AudioFile, SourceFormats, ::testing::ValuesIn(cases()),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
