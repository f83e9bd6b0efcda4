// Missing, damaged and hostile files, outputs that cannot be made or finished,
// and calls in the wrong order: an error code and text, never a crash.
#include "Fixtures.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <gtest/gtest.h>

using namespace varnelo;
using namespace varnelo::test;

namespace {

class BadInput : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString write(const QString &name, const QByteArray &bytes) {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return f.fileName();
    }
    static QByteArray noise(int size, quint32 seed) {
        QRandomGenerator gen(seed);
        QByteArray b(size, Qt::Uninitialized);
        for (char &c : b)
            c = char(gen.bounded(256));
        return b;
    }
};

void expectRefused(const QString &path, int code) {
    AudioFile f;
    EXPECT_FALSE(f.OpenSource(path)) << path.toStdString();
    EXPECT_EQ(f.ErrorCode(), code) << path.toStdString();
    EXPECT_FALSE(f.ErrorText().isEmpty());
    EXPECT_FALSE(f.GetFileOpen());
    // What the converter does next: close, read, get nothing.
    f.CloseFile();
    EXPECT_TRUE(f.ReadSamples(44100).empty());
    EXPECT_EQ(f.Length(), 0);
    EXPECT_EQ(f.BlockAlign(), 0);
    EXPECT_FALSE(f.Seek(10));
}

TEST_F(BadInput, SourcesThatAreNotSound) {
    expectRefused(dir.filePath(QStringLiteral("missing.mp3")), AudioFile::ErrOpen);
    expectRefused(dir.path(), AudioFile::ErrOpen);
    expectRefused(write(QStringLiteral("empty.wav"), {}), AudioFile::ErrFormat);
    expectRefused(
        write(QStringLiteral("text.mp3"), QByteArrayLiteral("just some words, not a song\n").repeated(50)),
        AudioFile::ErrFormat);
    for (quint32 seed = 1; seed <= 5; ++seed)
        expectRefused(write(QStringLiteral("noise%1.wma").arg(seed), noise(20000, seed)),
                      AudioFile::ErrFormat);
    // A header alone, with a data size that is not there.
    QByteArray header =
        QByteArrayLiteral("RIFF\xff\xff\xff\x7fWAVEfmt "
                          "\x10\0\0\0\x01\0\x02\0\x44\xac\0\0\x10\xb1\x02\0\x04\0\x10\0data\xff\xff\xff\x7f");
    AudioFile f;
    if (f.OpenSource(write(QStringLiteral("header.wav"), header))) {
        EXPECT_TRUE(f.ReadSamples(1000).empty());
    } else {
        EXPECT_NE(f.ErrorCode(), 0);
    }
    // A name FFmpeg would read as a URL stays a local file.
    expectRefused(QStringLiteral("http://127.0.0.1:1/x.mp3"), AudioFile::ErrOpen);
}

TEST_F(BadInput, DamagedAndCutOffFilesPlayWhatTheyHold) {
    const QString wav = makeTone(dir, QStringLiteral("t.wav"), 440, 2.0, 44100, 2,
                                 {QStringLiteral("-c:a"), QStringLiteral("pcm_s16le")});
    const QString mp3 = dir.filePath(QStringLiteral("t.mp3"));
    ASSERT_EQ(runTool(QStringLiteral("lame"), {QStringLiteral("--quiet"), wav, mp3}), 0);

    // Cut off after 40 %: the length the header claims cannot be reached, the
    // reading ends early and the true length is known then.
    QFile full(wav);
    ASSERT_TRUE(full.open(QIODevice::ReadOnly));
    const QByteArray whole = full.readAll();
    const int dataStart = whole.indexOf("data") + 8;
    const QString cut = write(QStringLiteral("cut.wav"), whole.left(dataStart + 4 * 35280));
    AudioFile a;
    ASSERT_TRUE(a.OpenSource(cut));
    EXPECT_EQ(a.Length(), 35280); // FFmpeg trusts the file size over the header
    EXPECT_EQ(qint64(readAll(a).size()) / 2, 35280);
    EXPECT_EQ(a.Length(), 35280);

    // Garbage in the middle of an MP3: the frames around it still decode.
    QFile m(mp3);
    ASSERT_TRUE(m.open(QIODevice::ReadOnly));
    QByteArray bytes = m.readAll();
    const QByteArray junk = noise(3000, 99);
    bytes.replace(bytes.size() / 2, junk.size(), junk);
    const QString damaged = write(QStringLiteral("damaged.mp3"), bytes);
    AudioFile b;
    ASSERT_TRUE(b.OpenSource(damaged));
    const SampleBlock got = readAll(b);
    EXPECT_GT(qint64(got.size()) / 2, 44100 * 3 / 2);
    EXPECT_NEAR(toneFrequency(SampleBlock(got.begin(), got.begin() + 2 * 30000), 2, 0, 44100), 440, 2);
}

TEST_F(BadInput, CorruptedBytesInEveryFormat) {
    // Files with bytes overwritten all through them: opening, reading to the
    // end and seeking must end (no endless loop) with consistent answers.
    const std::vector<std::pair<QString, QStringList>> formats{
        {QStringLiteral("c.wav"), {QStringLiteral("-c:a"), QStringLiteral("pcm_s16le")}},
        {QStringLiteral("c.mp3"), {QStringLiteral("-c:a"), QStringLiteral("libmp3lame")}},
        {QStringLiteral("c.ogg"), {QStringLiteral("-c:a"), QStringLiteral("libvorbis")}},
        {QStringLiteral("c.wma"), {QStringLiteral("-c:a"), QStringLiteral("wmav2")}},
        {QStringLiteral("c.flac"), {QStringLiteral("-c:a"), QStringLiteral("flac")}},
        {QStringLiteral("c_ms.wav"), {QStringLiteral("-c:a"), QStringLiteral("adpcm_ms")}},
    };
    for (const auto &[name, codec] : formats) {
        const QString clean = makeTone(dir, name, 440, 0.7, 44100, 2, codec);
        ASSERT_FALSE(clean.isEmpty()) << name.toStdString();
        QFile f(clean);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray original = f.readAll();
        for (quint32 seed = 1; seed <= 8; ++seed) {
            SCOPED_TRACE(testing::Message() << name.toStdString() << " seed " << seed);
            QByteArray bytes = original;
            QRandomGenerator gen(seed);
            const int flips = 1 + int(gen.bounded(40u));
            for (int i = 0; i < flips; ++i) // the first seed spares the header, the rest may hit it
                bytes[int(gen.bounded(seed == 1 ? 200u : 0u, quint32(bytes.size())))] =
                    char(gen.bounded(256));
            const QString broken = write(QStringLiteral("bad_%1_").arg(seed) + name, bytes);
            AudioFile a;
            if (!a.OpenSource(broken)) {
                EXPECT_NE(a.ErrorCode(), 0);
                continue;
            }
            ASSERT_GT(a.Channels(), 0);
            const qint64 frames = qint64(readAll(a).size()) / a.Channels();
            EXPECT_EQ(a.Length(), frames);
            // Where frames were lost the timestamps still place the seek in
            // time, so what follows may be more than half of what was read.
            EXPECT_TRUE(a.Seek(frames / 2));
            EXPECT_LE(qint64(readAll(a).size()) / a.Channels(), qint64(0.7 * 44100) + 4608);
        }
    }
}

TEST_F(BadInput, OutputsThatCannotBeMade) {
    AudioFile out;
    EXPECT_FALSE(out.WriteSamples(SampleBlock(100)));
    EXPECT_EQ(out.ErrorCode(), AudioFile::ErrState);

    out.SetWavFormat(44100, 2, 16);
    EXPECT_FALSE(out.CreateOutputFile(dir.filePath(QStringLiteral("no/such/folder/x.wav"))));
    EXPECT_EQ(out.ErrorCode(), AudioFile::ErrCreate);
    EXPECT_FALSE(out.ErrorText().isEmpty());
    EXPECT_FALSE(out.GetFileOpen());
    EXPECT_FALSE(out.WriteSamples(SampleBlock(100)));

    out.SetWavFormat(44100, 2, 7);
    EXPECT_FALSE(out.CreateOutputFile(dir.filePath(QStringLiteral("x.wav"))));
    EXPECT_EQ(out.ErrorCode(), AudioFile::ErrBadFormat);
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("x.wav"))));

    for (int profile : {0, 48, -1}) {
        out.SetWmaFormat(profile);
        EXPECT_FALSE(out.CreateOutputFile(dir.filePath(QStringLiteral("x.wma"))));
        EXPECT_EQ(out.ErrorCode(), AudioFile::ErrBadFormat);
    }

    // A read-only file in a writable folder is refused, and left as it was.
    const QString locked = write(QStringLiteral("locked.wav"), QByteArrayLiteral("keep me"));
    QFile::setPermissions(locked, QFile::ReadOwner);
    if (!QFile(locked).open(QIODevice::WriteOnly)) { // not when the tests run as root
        out.SetWavFormat(44100, 2, 16);
        EXPECT_FALSE(out.CreateOutputFile(locked));
        EXPECT_EQ(out.ErrorCode(), AudioFile::ErrCreate);
        QFile check(locked);
        ASSERT_TRUE(check.open(QIODevice::ReadOnly));
        EXPECT_EQ(check.readAll(), QByteArrayLiteral("keep me"));
    }
}

TEST_F(BadInput, BlocksThatAreNotWholeFramesAreRefused) {
    AudioFile out;
    out.SetWavFormat(44100, 2, 16);
    ASSERT_TRUE(out.CreateOutputFile(dir.filePath(QStringLiteral("x.wav"))));
    EXPECT_FALSE(out.WriteSamples(SampleBlock(101)));
    EXPECT_EQ(out.ErrorCode(), AudioFile::ErrWrite);
    EXPECT_TRUE(out.WriteSamples(SampleBlock(100))); // the output is still usable
    EXPECT_EQ(out.Length(), 50);
}

quint32 le32(const QByteArray &b, int at) {
    return quint8(b[at]) | quint8(b[at + 1]) << 8 | quint8(b[at + 2]) << 16 |
           quint32(quint8(b[at + 3])) << 24;
}

TEST_F(BadInput, AWavOnlyLooksCompleteOnceClosed) {
    const QString path = dir.filePath(QStringLiteral("rec.wav"));
    AudioFile out;
    out.SetWavFormat(44100, 2, 16);
    ASSERT_TRUE(out.CreateOutputFile(path));
    for (int i = 0; i < 20; ++i) // 2 s, well past the write buffer
        ASSERT_TRUE(out.WriteSamples(SampleBlock(2 * 4410, 1 << 20)));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QByteArray head = f.read(4096);
    EXPECT_GT(f.size(), 100000);
    EXPECT_EQ(le32(head, 4), 0xFFFFFFFFu) << "an unfinished RIFF size says 'unknown'";
    const int data = head.indexOf("data");
    ASSERT_GT(data, 0);
    EXPECT_EQ(le32(head, data + 4), 0xFFFFFFFFu);
    f.close();

    out.CloseFile();
    EXPECT_EQ(out.ErrorCode(), 0);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    head = f.read(4096);
    EXPECT_EQ(le32(head, 4), quint32(f.size() - 8));
    EXPECT_EQ(le32(head, head.indexOf("data") + 4), 88200u * 4);
}

TEST_F(BadInput, AFullDiskIsReportedAndNotTakenForSuccess) {
    if (!QFile::exists(QStringLiteral("/dev/full")))
        GTEST_SKIP() << "no /dev/full";
    for (const char *name : {"x.wav", "x.wma", "x.mp3", "x.ogg"}) {
        SCOPED_TRACE(name);
        AudioFile out;
        // /dev/full takes the name; the extension only picks the format.
        out.SetWavFormat(44100, 2, 16);
        out.SetWmaFormat(10);
        out.SetOggFormat(44100, 2, 128, 0, 0, -1);
        const QString ext = QString::fromLatin1(name).section(QLatin1Char('.'), 1);
        if (ext == QLatin1String("wav"))
            out.SetWavFormat(44100, 2, 16);
        else if (ext == QLatin1String("wma"))
            out.SetWmaFormat(10);
        else if (ext == QLatin1String("ogg"))
            out.SetOggFormat(44100, 2, 128, 0, 0, -1);
        else
            out.SetMp3Encoder(nullptr);
        bool ok = out.CreateOutputFile(QStringLiteral("/dev/full"));
        for (int i = 0; ok && i < 50; ++i)
            ok = out.WriteSamples(SampleBlock(2 * 4410, 1 << 24));
        if (!ok) {
            EXPECT_NE(out.ErrorCode(), 0);
        } else {
            out.CloseFile();
            EXPECT_NE(out.ErrorCode(), 0) << "writing to a full disk ended without an error";
        }
        EXPECT_FALSE(out.ErrorText().isEmpty());
    }
}

} // namespace
