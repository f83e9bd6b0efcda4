#pragma once
#include "platform/cd/AlbumInfo.h"
#include "platform/cd/DiscToc.h"

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <optional>
#include <vector>

namespace varnelo::cd {

// The CDDB protocol over HTTP (cddb.cgi, protocol level 6, UTF-8). The
// parsers take a server's raw answer and never trust it: every length is
// bounded and bytes that are not UTF-8 are read as Windows-1252.

// A value longer than this (after joining continued lines) is cut.
constexpr int XmcdValueLimit = 4096;

struct CddbMatch {
    QString category;
    QString discId;
    QString title; // DTITLE: "Artist / Album"
};

struct CddbQueryAnswer {
    int code = 0; // 200 exact, 210 several exact, 211 inexact, 202 none; others are errors
    std::vector<CddbMatch> matches;
    QString message; // the status line's text
};
CddbQueryAnswer parseCddbQueryAnswer(const QByteArray &body);

struct CddbReadAnswer {
    int code = 0; // 210 with the entry; 401 not found; others are errors
    QByteArray entry;
    QString message;
};
CddbReadAnswer parseCddbReadAnswer(const QByteArray &body);

// An xmcd entry: DTITLE "Artist / Album", DYEAR, DGENRE, TTITLEn (with
// "Artist / Title" on compilations); repeated keys continue their value;
// escapes \n \t \\. `tracks` is the number of audio tracks on the disc: the
// entry's titles beyond it are ignored. nullopt when it holds no DTITLE and no
// track title.
std::optional<AlbumInfo> parseXmcd(const QByteArray &entry, int tracks);
// An xmcd entry of `info` for the disc `toc` (its frame offsets, length and
// CDDB id), which parseXmcd reads back; "# Source: ..." keeps info.source.
QByteArray writeXmcd(const AlbumInfo &info, const DiscToc &toc);
// The source a writeXmcd entry keeps, empty when it names none.
QString xmcdSource(const QByteArray &entry);
// The disc ids an xmcd entry names in its DISCID lines.
QStringList xmcdDiscIds(const QByteArray &entry);
// A file of one or more entries, each starting with "# xmcd", split apart.
std::vector<QByteArray> splitXmcdEntries(const QByteArray &file);

// The URL of one command at a cddb.cgi server: "cmd=cddb+query+...&hello=...&proto=6".
QUrl cddbCommandUrl(const QUrl &server, const QString &command, const QString &hello);

} // namespace varnelo::cd
