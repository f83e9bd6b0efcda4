#include "common/TreeText.h"
#include "common/Error.h"
#include "support/Files.h"

#include <QStandardItemModel>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace varnelo;

namespace {
// The tree as indented lines, for comparing shapes.
QString shape(const QStandardItemModel &m) {
    QString out;
    tree::ForEachNode(m, [&](QStandardItem *item) {
        int depth = 0;
        for (auto *p = item->parent(); p; p = p->parent())
            ++depth;
        out += QString(depth, QLatin1Char('.')) + item->text() + QLatin1Char('|');
        return true;
    });
    return out;
}
} // namespace

TEST(TreeText, ReadsEveryLineBreakKindAndStopsAtByteZero) {
    QStandardItemModel m;
    static const char text[] = "A\r\n\tB\r\tC\n\t\tD\nE\0F\n";
    // What follows the byte 0 is not read, and the caller learns the tree is not whole.
    EXPECT_THROW(tree::LoadTreeFromBytes(m, QByteArray(text, sizeof text - 1)), Error);
    EXPECT_EQ(shape(m), QStringLiteral("A|.B|.C|..D|E|"));
    static const char padded[] = "A\r\n\0\0";
    tree::LoadTreeFromBytes(m, QByteArray(padded, sizeof padded - 1));
    EXPECT_EQ(shape(m), QStringLiteral("A|"));
}

TEST(TreeText, SpacesCountLikeTabsAndTextKeepsTrailingCharacters) {
    QStandardItemModel m;
    tree::LoadTreeFromBytes(m, "Root\n Child \n  Grand\n\t\n");
    EXPECT_EQ(shape(m), QStringLiteral("Root|.Child |..Grand|.|"));
}

TEST(TreeText, FirstLineIsARootWhateverItsDepthAndShallowerLinesClimb) {
    QStandardItemModel m;
    tree::LoadTreeFromBytes(m, "\t\tFirst\n\tKid\n\t\tGrand\n\t\t\tGreat\n\tUncle\nTop");
    EXPECT_EQ(shape(m), QStringLiteral("First|.Kid|..Grand|...Great|.Uncle|Top|"));
}

TEST(TreeText, TooDeepALineStopsWithTheErrorAndKeepsWhatWasRead) {
    QStandardItemModel m;
    try {
        tree::LoadTreeFromBytes(m, "A\n\tB\n\t\t\tDeep\nC\n");
        FAIL() << "no error";
    } catch (const Error &e) {
        EXPECT_EQ(e.message(), QStringLiteral("Invalid level (3) for item \"Deep\""));
    }
    EXPECT_EQ(shape(m), QStringLiteral("A|.B|"));
}

TEST(TreeText, LoadingReplacesTheTreeAndAnEmptyFileGivesAnEmptyTree) {
    QStandardItemModel m;
    tree::LoadTreeFromBytes(m, "A\nB\n");
    tree::LoadTreeFromBytes(m, "");
    EXPECT_EQ(m.rowCount(), 0);
}

TEST(TreeText, SaveWritesTabsAndCrLfAndRoundTrips) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.txt"));
    QStandardItemModel m;
    tree::LoadTreeFromBytes(m, "Now Playing\nRadio Stations\n Jazz\n  Smooth\nHistory\n\tCafé FM\n");
    tree::SaveTree(m, path);
    EXPECT_EQ(
        test::readBytes(path),
        QByteArray(
            "Now Playing\r\nRadio Stations\r\n\tJazz\r\n\t\tSmooth\r\nHistory\r\n\tCaf\xc3\xa9 FM\r\n"));
    QStandardItemModel back;
    tree::LoadTree(back, path);
    EXPECT_EQ(shape(back), shape(m));

    QStandardItemModel empty;
    tree::SaveTree(empty, path);
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_EQ(QFile(path).size(), 0);
}

TEST(TreeText, FindNodeByTextIsFirstInTreeOrderIgnoringAsciiCase) {
    QStandardItemModel m;
    tree::LoadTreeFromBytes(m, "Alt\n\tHardcore\nHip\n\thardcore\n");
    QStandardItem *found = tree::FindNodeByText(m, QStringLiteral("HARDCORE"));
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->parent()->text(), QStringLiteral("Alt"));
    EXPECT_EQ(tree::FindNodeByText(m, QStringLiteral("nothing")), nullptr);
    QStandardItemModel empty;
    EXPECT_EQ(tree::FindNodeByText(empty, QStringLiteral("Alt")), nullptr);
}
