#pragma once
#include "common/ShownPage.h"
#include "common/TreeText.h"
#include "library/LibraryCatalogue.h"
#include "library/LibraryEntries.h"
#include "library/LibraryRecord.h"
#include "support/Fakes.h"
#include "support/Files.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// Readable failure messages.
inline void PrintTo(const QString &s, std::ostream *os) {
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QStringList &list, std::ostream *os) {
    *os << '[' << list.join(QStringLiteral(", ")).toStdString() << ']';
}

namespace varnelo::test {

inline LibraryRecord track(const QString &title, const QString &artist, const QString &album,
                           const QString &path, const QString &genre = QStringLiteral("Rock")) {
    LibraryRecord r;
    r.Genre = genre;
    r.Title = title;
    r.Artist = artist;
    r.Album = album;
    r.Path = path;
    return r;
}

// An ID3v1 tail: "TAG", title, artist, album (30 bytes each, zero-padded),
// year, comment, genre byte.
inline QByteArray id3v1Tail(const QByteArray &title, const QByteArray &artist, const QByteArray &album,
                            unsigned char genre) {
    QByteArray tag("TAG");
    for (const QByteArray *field : {&title, &artist, &album})
        tag += field->left(30).leftJustified(30, '\0');
    tag += QByteArray("2001");
    tag += QByteArray(30, '\0');
    tag += static_cast<char>(genre);
    return tag;
}

// A small file whose last 128 bytes are an ID3v1 tag: all the library reads of an MP3.
inline void writeTaggedMp3(const QString &path, const QByteArray &title, const QByteArray &artist,
                           const QByteArray &album, unsigned char genre = 17) {
    writeBytes(path, QByteArray(400, '\x55') + id3v1Tail(title, artist, album, genre));
}

// A data folder with every start-up file, a library and its entries.
class LibraryFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        // The library's start-up files, empty as start-up creates them.
        for (const char *name : {"tp.dat", "tt.txt", "music.dat"})
            writeBytes(folder.file(QLatin1String(name)), {});
        QDir().mkpath(media());
    }
    QString media() const { return dir.filePath(QStringLiteral("media")); }
    QString mediaFile(const QString &name) const { return media() + QLatin1Char('/') + name; }
    QString data(const QString &name) const { return folder.file(name); }

    void write(const QString &file, const std::vector<LibraryRecord> &list, const QByteArray &tail = {}) {
        QByteArray bytes;
        for (const auto &r : list)
            bytes += r.toBytes();
        writeBytes(data(file), bytes + tail);
    }
    std::vector<LibraryRecord> read(const QString &file) {
        std::vector<LibraryRecord> out;
        for (const QByteArray &b : libraryFile(data(file)).readAll())
            out.push_back(LibraryRecord::fromBytes(b));
        return out;
    }
    QStringList titles(const QString &file) {
        QStringList out;
        for (const auto &r : read(file))
            out << r.Title;
        return out;
    }
    QStringList listTitles() {
        QStringList out;
        for (int row = 0; row < library.rowCount(); ++row)
            out << library.trackRow(row).Title;
        return out;
    }
    QStringList children(LibraryCatalogue::Root root) {
        QStringList out;
        for (int i = 0; i < library.root(root)->rowCount(); ++i)
            out << library.root(root)->child(i)->text();
        return out;
    }
    void show(QStandardItem *node) {
        library.selectNode(node);
        library.ShowLibraryNode();
    }
    void showRoot(LibraryCatalogue::Root root) { show(library.root(root)); }
    QStandardItem *child(LibraryCatalogue::Root root, const QString &text) {
        QStandardItem *parent = library.root(root);
        for (int i = 0; i < parent->rowCount(); ++i)
            if (parent->child(i)->text() == text)
                return parent->child(i);
        return nullptr;
    }

    QTemporaryDir dir;
    DataFolder folder{dir.path()};
    SetPage page;
    FakePrompts prompts;
    LibraryCatalogue library{folder};
    LibraryEntries entries{library, prompts};
};

} // namespace varnelo::test
