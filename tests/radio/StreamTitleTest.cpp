#include "radio/StreamTitle.h"

#include <gtest/gtest.h>

#include <utility>

namespace varnelo {
namespace {

TEST(ParseStreamTitle, TakesWhatStandsBetweenTheQuotes) {
    EXPECT_EQ(ParseStreamTitle(QStringLiteral("StreamTitle='Artist - Song';StreamUrl='';")),
              QStringLiteral("Artist - Song"));
    EXPECT_EQ(ParseStreamTitle(QStringLiteral("StreamTitle='Ünïcödé €';")), QStringLiteral("Ünïcödé €"));
    // Text before the key moves both positions alike.
    EXPECT_EQ(ParseStreamTitle(QStringLiteral("xx StreamTitle='A';")), QStringLiteral("A"));
}

TEST(ParseStreamTitle, ASemicolonInsideTheQuotesStaysInTheTitle) {
    const std::pair<const char *, const char *> cases[] = {
        {"StreamTitle='Rock;Roll';", "Rock;Roll"},
        {"StreamTitle='Rock; Roll';StreamUrl='';", "Rock; Roll"},
        {"StreamTitle=';';", ";"},
        {"StreamTitle='A;B';StreamTitle='C';", "A;B"},
        {"StreamUrl='x;y';StreamTitle='Later;On';", "Later;On"},
        {"StreamTitle='It';s';", "It"}, // the first "';" closes the value
        // Without its closing quote the value keeps the first-";" rule.
        {"StreamTitle='Rock;Roll", "Roc"},
        {"StreamTitle='Rock", ""},
    };
    for (const auto &[metadata, title] : cases)
        EXPECT_EQ(ParseStreamTitle(QString::fromUtf8(metadata)), QString::fromUtf8(title)) << metadata;
}

TEST(ParseStreamTitle, KeepsItsQuirks) {
    // The closing quote is not looked for: whatever stands before the ";" goes, quote or not.
    EXPECT_EQ(ParseStreamTitle(QStringLiteral("StreamTitle=\"Double\";")), QStringLiteral("Double"));
    EXPECT_EQ(ParseStreamTitle(QStringLiteral("StreamTitle='NoQuoteAtEnd;")), QStringLiteral("NoQuoteAtEn"));
    // Empty title, no semicolon, a semicolon before the key: all give an empty title.
    EXPECT_EQ(ParseStreamTitle(QStringLiteral("StreamTitle='';")), QString());
    EXPECT_EQ(ParseStreamTitle(QStringLiteral("StreamTitle='Lost'")), QString());
    EXPECT_EQ(ParseStreamTitle(QStringLiteral("StreamUrl='x';StreamTitle='Later';")), QString());
    EXPECT_EQ(ParseStreamTitle(QStringLiteral("StreamTitle=;")), QString());
    EXPECT_EQ(ParseStreamTitle(QStringLiteral("StreamTitle='")), QString());
    // A full 4080-byte block without terminator or ";" (a hostile server): empty, not a hang.
    EXPECT_EQ(ParseStreamTitle(QStringLiteral("StreamTitle='") + QString(4067, QLatin1Char('x'))), QString());
}

TEST(ParseStreamTitle, NullOrNoKeyMeansNoChange) {
    EXPECT_EQ(ParseStreamTitle(std::nullopt), std::nullopt);
    EXPECT_EQ(ParseStreamTitle(QString()), std::nullopt);
    EXPECT_EQ(ParseStreamTitle(QStringLiteral("StreamUrl='http://x';")), std::nullopt);
    EXPECT_EQ(ParseStreamTitle(QStringLiteral("streamtitle='lower';")), std::nullopt); // exact case
}

TEST(MapIcyHeaders, TakesTheRestOfExactCaseLinesTrimmed) {
    const IcyStationInfo info =
        MapIcyHeaders({QStringLiteral("icy-name: Radio X"), QStringLiteral("icy-genre:Jazz "),
                       QStringLiteral("icy-url:http://radio.example/"), QStringLiteral("icy-br:128")});
    EXPECT_EQ(info.name, QStringLiteral("Radio X"));
    EXPECT_EQ(info.genre, QStringLiteral("Jazz"));
    EXPECT_EQ(info.url, QStringLiteral("http://radio.example/"));
}

TEST(MapIcyHeaders, OtherCaseShortLinesAndRepeats) {
    IcyStationInfo info =
        MapIcyHeaders({QStringLiteral("Icy-Name:Radio X"), QStringLiteral("ICY-GENRE:Pop")});
    EXPECT_TRUE(info.name.isEmpty());
    EXPECT_TRUE(info.genre.isEmpty());

    info =
        MapIcyHeaders({QStringLiteral("icy-name"), QStringLiteral("icy-url"), QStringLiteral("icy-genre:")});
    EXPECT_TRUE(info.name.isEmpty());
    EXPECT_TRUE(info.url.isEmpty());
    EXPECT_TRUE(info.genre.isEmpty());

    info = MapIcyHeaders(
        {QStringLiteral("icy-name:First"), QStringLiteral("icy-name:Second"), QStringLiteral("icy-name:")});
    EXPECT_TRUE(info.name.isEmpty()); // the last line wins, even empty

    info = MapIcyHeaders({QStringLiteral("icy-name:First"), QStringLiteral("icy-name:Second")});
    EXPECT_EQ(info.name, QStringLiteral("Second"));
    EXPECT_TRUE(MapIcyHeaders({}).name.isEmpty());
}

} // namespace
} // namespace varnelo
