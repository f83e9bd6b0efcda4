#pragma once
// Generated media for the tag tests (also used by the library's reader tests).
#include "support/AudioCheck.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>
#include <vorbis/vorbisenc.h>

#include <cmath>
#include <cstdio>

// Readable QString values in failure messages.
inline void PrintTo(const QString &s, std::ostream *os) {
    *os << '"' << s.toStdString() << '"';
}

namespace varnelo::testing {

struct ToolResult {
    int exitCode = -1;
    QByteArray out, err;
};

inline ToolResult runTool(const QString &program, const QStringList &args) {
    QProcess p;
    p.start(program, args);
    ToolResult r;
    if (!p.waitForStarted(10000) || !p.waitForFinished(60000))
        return r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

// ffmpeg with a quiet log; `args` come between the input and the output.
inline QString makeAudio(const QString &path, const QStringList &args,
                         const QString &source = QStringLiteral("sine=frequency=440:duration=1")) {
    const ToolResult r =
        runTool(QStringLiteral("ffmpeg"),
                QStringList{QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-y"),
                            QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), source} +
                    args + QStringList{path});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    return path;
}

// Everything reading must leave alone.
struct FileState {
    QByteArray bytes;
    QDateTime modified;
    QFile::Permissions permissions;
    bool operator==(const FileState &) const = default;
};

inline FileState fileState(const QString &path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    const QFileInfo info(path);
    return FileState{f.readAll(), info.lastModified(), info.permissions()};
}

inline void makeReadOnly(const QString &path) {
    ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
}

inline QByteArray readAll(const QString &path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return f.readAll();
}

inline void writeAll(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

// A 30-byte ID3v1 text field, padded as the caller says.
inline QByteArray id3v1Field(const QByteArray &text, char pad, int width = 30) {
    QByteArray f = text.left(width);
    f.append(QByteArray(width - f.size(), pad));
    return f;
}

inline QByteArray id3v1Tag(const QByteArray &title, const QByteArray &artist, const QByteArray &album,
                           int genre, char pad = '\0') {
    QByteArray tag("TAG");
    tag += id3v1Field(title, pad) + id3v1Field(artist, pad) + id3v1Field(album, pad);
    tag += QByteArray("1999") + id3v1Field("comment", '\0', 28);
    tag += '\0';
    tag += char(4);
    tag += char(static_cast<unsigned char>(genre));
    return tag;
}

// An Ogg Vorbis file with exactly these comment strings (any bytes, with or
// without "="), built with libvorbisenc so nothing rewrites the comments.
inline void writeVorbisWithComments(const QString &path, const QList<QByteArray> &comments) {
    vorbis_info vi;
    vorbis_info_init(&vi);
    ASSERT_EQ(vorbis_encode_init_vbr(&vi, 1, 44100, 0.1f), 0);
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    for (const QByteArray &c : comments)
        vorbis_comment_add(&vc, c.constData());
    vorbis_dsp_state vd;
    vorbis_analysis_init(&vd, &vi);
    vorbis_block vb;
    vorbis_block_init(&vd, &vb);
    ogg_stream_state os;
    ogg_stream_init(&os, 4711);
    ogg_packet header, headerComment, headerCode;
    vorbis_analysis_headerout(&vd, &vc, &header, &headerComment, &headerCode);
    ogg_stream_packetin(&os, &header);
    ogg_stream_packetin(&os, &headerComment);
    ogg_stream_packetin(&os, &headerCode);
    QByteArray bytes;
    ogg_page og;
    auto appendPage = [&](const ogg_page &page) {
        bytes.append(reinterpret_cast<const char *>(page.header), page.header_len);
        bytes.append(reinterpret_cast<const char *>(page.body), page.body_len);
    };
    while (ogg_stream_flush(&os, &og))
        appendPage(og);
    constexpr int Frames = 8820;
    float **buffer = vorbis_analysis_buffer(&vd, Frames);
    for (int i = 0; i < Frames; ++i)
        buffer[0][i] = 0.3f * static_cast<float>(std::sin(2 * M_PI * 440.0 * i / 44100.0));
    vorbis_analysis_wrote(&vd, Frames);
    vorbis_analysis_wrote(&vd, 0);
    ogg_packet op;
    while (vorbis_analysis_blockout(&vd, &vb) == 1) {
        vorbis_analysis(&vb, nullptr);
        vorbis_bitrate_addblock(&vb);
        while (vorbis_bitrate_flushpacket(&vd, &op)) {
            ogg_stream_packetin(&os, &op);
            while (ogg_stream_pageout(&os, &og))
                appendPage(og);
        }
    }
    while (ogg_stream_flush(&os, &og))
        appendPage(og);
    ogg_stream_clear(&os);
    vorbis_block_clear(&vb);
    vorbis_dsp_clear(&vd);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    writeAll(path, bytes);
}

inline QString cliPath() {
    return QStringLiteral(VARNELO_CLI_PATH);
}

} // namespace varnelo::testing
