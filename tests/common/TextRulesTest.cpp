#include "common/TextRules.h"

#include <gtest/gtest.h>

using namespace varnelo::text;

TEST(TextRules, TrimRemovesControlCharactersAndBlanksOnly) {
    EXPECT_EQ(trimControl(QStringLiteral("\t\x01 Rock \r\n")), QStringLiteral("Rock"));
    EXPECT_EQ(trimControl(QString(QChar(0xA0)) + QStringLiteral("x")),
              QString(QChar(0xA0)) + QStringLiteral("x"));
}

TEST(TextRules, CaseChangesTouchAsciiLettersOnly) {
    EXPECT_EQ(asciiLower(QStringLiteral("ÄBC-Ü")), QStringLiteral("Äbc-Ü"));
    EXPECT_EQ(asciiUpper(QStringLiteral("äbc")), QStringLiteral("äBC"));
}

TEST(TextRules, FilterMatchesTrimmedLowerCasedSubstringAndEmptyMatchesNothing) {
    EXPECT_TRUE(filterMatches(QStringLiteral("Classic Rock"), QStringLiteral("ROCK ")));
    EXPECT_FALSE(filterMatches(QStringLiteral("Classic Rock"), QStringLiteral("  ")));
    EXPECT_FALSE(filterMatches(QStringLiteral(""), QStringLiteral("")));
    EXPECT_FALSE(filterMatches(QStringLiteral("Opera"), QStringLiteral("operas")));
}

TEST(TextRules, ElapsedTextHasTwoDigitsAtLeast) {
    EXPECT_EQ(elapsedText(0), QStringLiteral("00:00:00"));
    EXPECT_EQ(elapsedText(3 * 3600 + 7 * 60 + 9), QStringLiteral("03:07:09"));
    EXPECT_EQ(elapsedText(100 * 3600 + 1), QStringLiteral("100:00:01"));
}

TEST(TextRules, EightBitTextsAreUtf8OrElseWindows1252) {
    EXPECT_EQ(decode8Bit(QByteArray("Caf\xc3\xa9")), QStringLiteral("Café"));
    EXPECT_EQ(decode8Bit(QByteArray("Caf\xe9 \x80")), QStringLiteral("Café €"));
}

TEST(TextRules, CutNeverSplitsACharacter) {
    const QString s = QStringLiteral("aé€"); // 1 + 2 + 3 bytes
    EXPECT_EQ(encodeCut(s, 6), s.toUtf8());
    EXPECT_EQ(encodeCut(s, 5), QStringLiteral("aé").toUtf8());
    EXPECT_EQ(encodeCut(s, 4), QStringLiteral("aé").toUtf8());
    EXPECT_EQ(encodeCut(s, 2), QStringLiteral("a").toUtf8());
    EXPECT_EQ(encodeCut(s, 0), QByteArray());
}
