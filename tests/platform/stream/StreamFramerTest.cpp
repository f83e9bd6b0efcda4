#include "platform/stream/StreamFramer.h"
#include "StreamTestUtil.h"

#include <gtest/gtest.h>

namespace varnelo::streamtest {
namespace {

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

QByteArray joined(const std::vector<StreamFrame> &frames, std::size_t from = 0) {
    QByteArray all;
    for (std::size_t i = from; i < frames.size(); ++i)
        all += frames[i].bytes;
    return all;
}

TEST(StreamFramer, FrameHeadersOfEveryVersionAndLayer) {
    struct Case {
        QByteArray header;
        int version, layer, kbps, rate, channels, length, samples;
    };
    const Case cases[] = {
        {bytes({0xFF, 0xFB, 0x90, 0x64}), 1, 3, 128, 44100, 2, 417, 1152},  // the common one
        {bytes({0xFF, 0xFB, 0x92, 0xC4}), 1, 3, 128, 44100, 1, 418, 1152},  // padded, mono
        {bytes({0xFF, 0xFD, 0xE4, 0x00}), 1, 2, 384, 48000, 2, 1152, 1152}, // layer II
        {bytes({0xFF, 0xFF, 0x18, 0x00}), 1, 1, 32, 32000, 2, 48, 384},     // layer I
        {bytes({0xFF, 0xF3, 0x84, 0x00}), 2, 3, 64, 24000, 2, 192, 576},    // MPEG-2
        {bytes({0xFF, 0xE3, 0x18, 0x00}), 25, 3, 8, 8000, 2, 72, 576},      // MPEG-2.5
    };
    for (const Case &c : cases) {
        const auto h = parseMp3FrameHeader(reinterpret_cast<const unsigned char *>(c.header.constData()), 4);
        ASSERT_TRUE(h.has_value()) << c.header.toHex().toStdString();
        EXPECT_EQ(h->version, c.version);
        EXPECT_EQ(h->layer, c.layer);
        EXPECT_EQ(h->bitrateKbps, c.kbps);
        EXPECT_EQ(h->sampleRate, c.rate);
        EXPECT_EQ(h->channels, c.channels);
        EXPECT_EQ(h->length, c.length) << c.header.toHex().toStdString();
        EXPECT_EQ(h->samples, c.samples);
    }
    // Free format, bad bitrate, reserved version, layer, rate and emphasis, no sync, too short.
    for (const QByteArray &bad :
         {bytes({0xFF, 0xFB, 0x04, 0x00}), bytes({0xFF, 0xFB, 0xF0, 0x00}), bytes({0xFF, 0xEB, 0x90, 0x00}),
          bytes({0xFF, 0xF9, 0x90, 0x00}), bytes({0xFF, 0xFB, 0x9C, 0x00}), bytes({0xFF, 0xFB, 0x90, 0x02}),
          bytes({0xFE, 0xFB, 0x90, 0x00}), bytes({0xFF, 0xFB, 0x90})})
        EXPECT_FALSE(parseMp3FrameHeader(reinterpret_cast<const unsigned char *>(bad.constData()),
                                         std::size_t(bad.size())))
            << bad.toHex().toStdString();
}

TEST(StreamFramer, Mp3FramesComeOutWholeWhateverTheJunkAndTheCuts) {
    const QByteArray mp3 = tone(Tone{ToneFormat::Mp3, 440, 1.0});
    ASSERT_FALSE(mp3.isEmpty());
    const auto all = splitStreamFrames(mp3);
    ASSERT_GT(all.frames.size(), 30u);
    // The tool's file is nothing but frames; the last one waits for a header after it.
    EXPECT_TRUE(mp3.startsWith(joined(all.frames)));
    EXPECT_EQ(mp3.size() - joined(all.frames).size(), all.frames.back().bytes.size());
    for (const StreamFrame &f : all.frames) {
        EXPECT_EQ(f.codec, StreamCodec::Mp3);
        EXPECT_EQ(f.samples, 1152);
        EXPECT_EQ(f.sampleRate, 44100);
    }

    // A tag and garbage before, a frame cut in half in the middle, bytes fed one at a time.
    const QByteArray first = all.frames[0].bytes;
    QByteArray damaged = QByteArray("ID3\x03\x00\x00\x00\x00\x00\x10", 10) + QByteArray(16, 'x') + first +
                         all.frames[1].bytes.left(200) + joined(all.frames, 2);
    StreamFramer framer;
    StreamFramer::Output out;
    for (char c : damaged)
        framer.feed(&c, 1, out);
    EXPECT_EQ(framer.codec(), StreamCodec::Mp3);
    ASSERT_GE(out.frames.size(), all.frames.size() - 3);
    EXPECT_EQ(out.frames.front().bytes, first);
    // Every frame that comes out is one of the file's frames, in order.
    std::size_t at = 0;
    for (const StreamFrame &f : out.frames) {
        while (at < all.frames.size() && all.frames[at].bytes != f.bytes)
            ++at;
        ASSERT_LT(at, all.frames.size()) << "a frame that was not sent";
    }
}

TEST(StreamFramer, OggPagesKeepTheirBytesAndHeadersComeTogetherAfterTheTitle) {
    const QByteArray one =
        tone(Tone{ToneFormat::OggVorbis, 440, 2.0, QStringLiteral("First"), QStringLiteral("Band"), 0});
    const QByteArray two =
        tone(Tone{ToneFormat::OggVorbis, 880, 2.0, QStringLiteral("Second"), QString(), 7});
    ASSERT_FALSE(one.isEmpty());
    ASSERT_FALSE(two.isEmpty());
    const QByteArray chain = one + two;
    StreamFramer framer;
    StreamFramer::Output out;
    for (qsizetype i = 0; i < chain.size(); i += 1000)
        framer.feed(chain.constData() + i, std::size_t(std::min<qsizetype>(1000, chain.size() - i)), out);
    EXPECT_EQ(framer.codec(), StreamCodec::OggVorbis);
    EXPECT_EQ(joined(out.frames), chain);
    ASSERT_EQ(out.titles.size(), 2u);
    EXPECT_EQ(out.titles[0], std::make_pair(std::size_t(0), QStringLiteral("Band - First")));
    EXPECT_EQ(out.titles[1].second, QStringLiteral("Second"));
    // The second title comes right before the second link's first (header) page.
    const std::size_t link = out.titles[1].first;
    ASSERT_LT(link, out.frames.size());
    EXPECT_TRUE(out.frames[link].header);
    EXPECT_FALSE(out.frames[link - 1].header);
    EXPECT_EQ(joined(out.frames, link), two);
    std::int64_t samples = 0;
    for (std::size_t i = link; i < out.frames.size(); ++i)
        samples += out.frames[i].samples;
    // Counted from the first audio page's end on (the tool's pages hold up to a second).
    EXPECT_GT(samples, 0.5 * 44100);
    EXPECT_LE(samples, 2 * 44100);
    std::vector<StreamFrame> secondHeaders;
    for (std::size_t i = link; i < out.frames.size() && out.frames[i].header; ++i)
        secondHeaders.push_back(out.frames[i]);
    EXPECT_GE(secondHeaders.size(), 2u); // identification alone, then comments and setup
    EXPECT_EQ(joined(framer.headerPages()), joined(secondHeaders));
}

TEST(StreamFramer, CommentHeaderTitles) {
    const auto packet = [](const QByteArray &magic, QList<QByteArray> comments) {
        QByteArray p = magic;
        const auto le32 = [&p](quint32 v) {
            for (int i = 0; i < 4; ++i)
                p.append(char((v >> (8 * i)) & 0xFF));
        };
        le32(3);
        p += "lib";
        le32(quint32(comments.size()));
        for (const QByteArray &c : comments) {
            le32(quint32(c.size()));
            p += c;
        }
        return p;
    };
    EXPECT_EQ(commentHeaderTitle(packet("\x03vorbis", {"title=Song", "ARTIST=Band"})),
              QStringLiteral("Band - Song"));
    EXPECT_EQ(commentHeaderTitle(packet("OpusTags", {"TITLE=Solo"})), QStringLiteral("Solo"));
    EXPECT_FALSE(commentHeaderTitle(packet("\x03vorbis", {"ARTIST=Band"})));
    EXPECT_FALSE(commentHeaderTitle(packet("\x01vorbis", {"TITLE=x"})));
    // A count or a length beyond the packet stops the reading, and nothing is read past it.
    QByteArray cut = packet("\x03vorbis", {"TITLE=Whole", "TITLE=Cut"});
    cut.chop(2);
    EXPECT_EQ(commentHeaderTitle(cut), QStringLiteral("Whole"));
    EXPECT_FALSE(commentHeaderTitle(QByteArray("\x03vorbis\xff\xff\xff\xff", 11)));
}

TEST(StreamFramer, BytesOfNeitherCodecAreGivenUp) {
    QByteArray noise(300 * 1024, '\0');
    for (qsizetype i = 0; i < noise.size(); ++i)
        noise[i] = char((i * 7919) % 251); // no two frame headers in a row
    const auto out = splitStreamFrames(noise);
    EXPECT_TRUE(out.frames.empty());
}

} // namespace
} // namespace varnelo::streamtest
