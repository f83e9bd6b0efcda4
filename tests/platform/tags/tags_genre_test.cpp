#include "platform/tags/GenreTable.h"

#include <gtest/gtest.h>
#include <taglib/id3v1genres.h>

#include <map>

using namespace varnelo;

TEST(TagsGenreTable, TellingRowsAndBounds) {
    EXPECT_EQ(GenreName(0), QStringLiteral("Blues"));
    EXPECT_EQ(GenreName(3), QStringLiteral("Dance"));
    EXPECT_EQ(GenreName(12), QStringLiteral("Other"));
    EXPECT_EQ(GenreName(64), QStringLiteral("Native US"));
    EXPECT_EQ(GenreName(79), QStringLiteral("Hard Rock"));
    EXPECT_EQ(GenreName(140), QStringLiteral("Contemporary C"));
    EXPECT_EQ(GenreName(147), QStringLiteral("SynthPop"));
    EXPECT_TRUE(GenreName(-1).isEmpty());
    EXPECT_TRUE(GenreName(148).isEmpty());
    EXPECT_EQ(GenreNumber(QStringLiteral("hard rock")), 79);
    EXPECT_EQ(GenreNumber(QStringLiteral("Hard")), -1);
}

// The numbers are the same in every ID3v1 list; only a few spellings differ.
// Checking against TagLib's list catches a shifted or misspelt row.
TEST(TagsGenreTable, AgreesWithTagLibBarTheClassicSpellings) {
    const std::map<int, const char *> classic = {
        {29, "Jazz+Funk"},          {64, "Native US"},       {81, "Folk-Rock"}, {85, "Bebob"},
        {90, "Avantgarde"},         {125, "Dance Hall"},     {129, "Hardcore"}, {132, "BritPop"},
        {136, "Christian Gangsta"}, {140, "Contemporary C"}, {146, "JPop"},     {147, "SynthPop"}};
    for (int i = 0; i < GenreCount; ++i) {
        const auto it = classic.find(i);
        const QString expected = it != classic.end()
                                     ? QString::fromLatin1(it->second)
                                     : QString::fromStdString(TagLib::ID3v1::genre(i).to8Bit(true));
        EXPECT_EQ(GenreName(i), expected) << "genre " << i;
        EXPECT_EQ(GenreNumber(GenreName(i)), i);
    }
}
