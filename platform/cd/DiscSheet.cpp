#include "platform/cd/DiscSheet.h"

#include "common/TextRules.h"
#include "platform/audiofile/AudioDecoder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <map>

namespace varnelo::cd {

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("DiscSheet", text);
}

// Longer than any disc, short enough that no sum of lengths overflows.
constexpr qint64 MaxDiscSectors = 16 * 60 * 60 * SectorsPerSecond;
constexpr qint64 MaxDiscFrames = MaxDiscSectors * FramesPerSector;
constexpr int MaxTracks = 99;

struct Failure {
    int line;
    QString text;
};

[[noreturn]] void fail(int line, const QString &text) {
    throw Failure{line, text};
}

// "mm:ss:ff" in sectors, -1 when it is not one.
qint64 msfSectors(const QString &s) {
    const QStringList parts = s.split(QLatin1Char(':'));
    if (parts.size() != 3)
        return -1;
    qint64 v[3];
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        v[i] = parts[i].toLongLong(&ok);
        if (!ok || v[i] < 0 || parts[i].isEmpty() || parts[i].size() > 4 ||
            parts[i].front() == QLatin1Char('+'))
            return -1;
    }
    if (v[1] >= 60 || v[2] >= SectorsPerSecond || v[0] > 999)
        return -1;
    return (v[0] * 60 + v[1]) * SectorsPerSecond + v[2];
}

qint64 plainNumber(const QString &s, qint64 max) {
    if (s.isEmpty() || s.size() > 15 || !std::all_of(s.begin(), s.end(), [](QChar c) { return c.isDigit(); }))
        return -1;
    const qint64 v = s.toLongLong();
    return v <= max ? v : -1;
}

bool validCatalog(const QString &c) {
    return c.size() == 13 && std::all_of(c.begin(), c.end(), [](QChar ch) { return ch.isDigit(); });
}

QString sheetText(const QByteArray &bytes) {
    return text::decode8Bit(bytes).trimmed();
}

// Shared by both formats: turns the disc's tracks into the table.
void finishToc(DiscSheet &sheet, qint64 discFrames) {
    sheet.toc.leadout = qint32(discFrames / FramesPerSector);
    auto &tracks = sheet.toc.tracks;
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const qint32 end = i + 1 < tracks.size() ? tracks[i + 1].start : sheet.toc.leadout;
        qint32 sectors = end - tracks[i].start;
        if (sheet.toc.multiSession && tracks[i].audio && i + 1 < tracks.size() && !tracks[i + 1].audio)
            sectors -= SessionGapSectors;
        tracks[i].sectors = std::max<qint32>(sectors, 0);
    }
}

void addPiece(DiscSheet &sheet, qint64 &discFrames, SheetPiece piece, int line) {
    if (piece.frames <= 0)
        return;
    discFrames += piece.frames;
    if (discFrames > MaxDiscFrames)
        fail(line, tr("the disc would be longer than any CD."));
    // Adjacent silence is one piece.
    if (piece.source == SheetPiece::Source::Silence && !sheet.pieces.empty() &&
        sheet.pieces.back().source == SheetPiece::Source::Silence) {
        sheet.pieces.back().frames += piece.frames;
        return;
    }
    sheet.pieces.push_back(std::move(piece));
}

SheetPiece silence(qint64 frames) {
    SheetPiece p;
    p.frames = frames;
    return p;
}

SheetResult finished(const QString &name, const std::function<void(DiscSheet &)> &parse) {
    SheetResult r;
    try {
        DiscSheet sheet;
        parse(sheet);
        r.sheet = std::move(sheet);
    } catch (const Failure &f) {
        r.error = f.line > 0 ? tr("%1, line %2: %3").arg(name).arg(f.line).arg(f.text)
                             : tr("%1: %2").arg(name, f.text);
    }
    return r;
}

// ---- cue sheets ----

QStringList cueTokens(const QString &line) {
    QStringList tokens;
    int i = 0;
    const int n = int(line.size());
    while (i < n) {
        while (i < n && line[i].isSpace())
            ++i;
        if (i >= n)
            break;
        QString token;
        if (line[i] == QLatin1Char('"')) {
            const int close = int(line.indexOf(QLatin1Char('"'), i + 1));
            token = line.mid(i + 1, close < 0 ? -1 : close - i - 1);
            i = close < 0 ? n : close + 1;
        } else {
            const int start = i;
            while (i < n && !line[i].isSpace())
                ++i;
            token = line.mid(start, i - start);
        }
        tokens << token;
    }
    return tokens;
}

struct CueFile {
    ProbedFile probed;
    bool raw = true;
    bool bigEndian = false;
    int line = 0;
};

struct CueTrack {
    int number = 0;
    int line = 0;
    bool audio = true;
    int block = SectorBytes;
    qint64 pregap = 0, postgap = 0;
    bool secondSession = false;
    // "MODEx/2xxx": a data track its ripper left out, often with INDEX 00 only.
    bool placeholder = false;
    int lastIndex = -1; // number of the last INDEX line, for their order
    QString title, performer;
    SheetTrackInfo info;
    qint32 start = -1;
};

// FILE and INDEX lines in sheet order: an index may lie in another file than
// its track's first one (a pregap at the end of the previous track's file).
struct CueEvent {
    int line = 0;
    int file = -1;  // a FILE line: the file
    int track = -1; // an INDEX line: its track, number and sector in the file
    int number = 0;
    qint64 at = 0;
};

int cueBlockSize(const QString &mode, bool &audio) {
    static const std::map<QString, int> sizes{
        {QStringLiteral("AUDIO"), 2352},      {QStringLiteral("CDG"), 2448},
        {QStringLiteral("MODE1/2048"), 2048}, {QStringLiteral("MODE1/2352"), 2352},
        {QStringLiteral("MODE2/2048"), 2048}, {QStringLiteral("MODE2/2324"), 2324},
        {QStringLiteral("MODE2/2336"), 2336}, {QStringLiteral("MODE2/2352"), 2352},
        {QStringLiteral("CDI/2336"), 2336},   {QStringLiteral("CDI/2352"), 2352}};
    const auto it = sizes.find(mode);
    audio = mode == QLatin1String("AUDIO") || mode == QLatin1String("CDG");
    return it == sizes.end() ? 0 : it->second;
}

void parseCue(DiscSheet &sheet, const QByteArray &bytes, const FileProbe &probe) {
    std::vector<CueFile> files;
    std::vector<CueTrack> tracks;
    std::vector<CueEvent> events;
    bool nextSession = false;
    const QStringList lines = text::decode8Bit(bytes).split(QLatin1Char('\n'));
    for (int ln = 0; ln < lines.size(); ++ln) {
        const int line = ln + 1;
        QString lineText = lines[ln];
        if (ln == 0 && lineText.startsWith(QChar(0xFEFF)))
            lineText.remove(0, 1);
        const QStringList t = cueTokens(lineText);
        if (t.isEmpty())
            continue;
        const QString cmd = t[0].toUpper();
        CueTrack *track = tracks.empty() ? nullptr : &tracks.back();
        const auto needTrack = [&] {
            if (!track)
                fail(line, tr("%1 before the first TRACK.").arg(cmd));
        };
        const auto arg = [&](int i) {
            if (t.size() <= i)
                fail(line, tr("%1 lacks a value.").arg(cmd));
            return t[i];
        };
        if (cmd == QLatin1String("REM")) {
            const QString what = t.value(1).toUpper();
            if (what == QLatin1String("GENRE") && !track)
                sheet.toc.genre = t.mid(2).join(QLatin1Char(' '));
            // Written before the first track of a second session (enhanced CD).
            if (what == QLatin1String("SESSION") && plainNumber(t.value(2), 99) > 1)
                nextSession = true;
        } else if (cmd == QLatin1String("CATALOG")) {
            sheet.catalog = arg(1);
            if (!validCatalog(sheet.catalog))
                fail(line, tr("the catalog number %1 is not 13 digits.").arg(sheet.catalog));
        } else if (cmd == QLatin1String("TITLE") || cmd == QLatin1String("PERFORMER")) {
            const QString value = arg(1).trimmed();
            QString &target = cmd == QLatin1String("TITLE")
                                  ? (track ? track->title : sheet.toc.title)
                                  : (track ? track->performer : sheet.toc.performer);
            target = value;
        } else if (cmd == QLatin1String("FILE")) {
            const QString name = arg(1);
            const QString type = arg(2).toUpper();
            CueFile f;
            f.line = line;
            if (type == QLatin1String("BINARY") || type == QLatin1String("MOTOROLA")) {
                f.bigEndian = type == QLatin1String("MOTOROLA");
            } else if (type == QLatin1String("WAVE") || type == QLatin1String("FLAC") ||
                       type == QLatin1String("MP3") || type == QLatin1String("AIFF")) {
                f.raw = false;
            } else {
                fail(line, tr("unknown file type %1.").arg(type));
            }
            QString error;
            const std::optional<ProbedFile> p = probe(name, !f.raw, error);
            if (!p)
                fail(line, error);
            f.probed = *p;
            files.push_back(f);
            CueEvent e;
            e.line = line;
            e.file = int(files.size()) - 1;
            events.push_back(e);
        } else if (cmd == QLatin1String("TRACK")) {
            if (files.empty())
                fail(line, tr("TRACK before the first FILE."));
            CueTrack next;
            next.line = line;
            next.number = int(plainNumber(arg(1), 999));
            if (next.number < 1 || next.number > MaxTracks)
                fail(line, tr("track number %1 is not one of 1 to 99.").arg(t[1]));
            if (track && next.number <= track->number)
                fail(line, tr("track %1 follows track %2.").arg(next.number).arg(track->number));
            next.placeholder = arg(2).toUpper() == QLatin1String("MODEX/2XXX");
            next.block = next.placeholder ? SectorBytes : cueBlockSize(arg(2).toUpper(), next.audio);
            next.audio = next.audio && !next.placeholder;
            if (next.block == 0)
                fail(line, tr("unknown track mode %1.").arg(t[2]));
            next.secondSession = nextSession && !tracks.empty();
            nextSession = false;
            tracks.push_back(next);
        } else if (cmd == QLatin1String("INDEX")) {
            needTrack();
            const qint64 n = plainNumber(arg(1), 99);
            const qint64 at = msfSectors(arg(2));
            if (n < 0)
                fail(line, tr("index number %1 is not one of 0 to 99.").arg(t[1]));
            if (at < 0)
                fail(line, tr("%1 is not a time mm:ss:ff.").arg(t[2]));
            if (n <= track->lastIndex)
                fail(line, tr("INDEX %1 follows INDEX %2.").arg(t[1]).arg(track->lastIndex));
            if (n > 1 && track->lastIndex < 1)
                fail(line, tr("INDEX %1 before INDEX 01.").arg(t[1]));
            track->lastIndex = int(n);
            CueEvent e;
            e.line = line;
            e.track = int(tracks.size()) - 1;
            e.number = int(n);
            e.at = at;
            events.push_back(e);
        } else if (cmd == QLatin1String("PREGAP") || cmd == QLatin1String("POSTGAP")) {
            needTrack();
            const qint64 v = msfSectors(arg(1));
            if (v < 0)
                fail(line, tr("%1 is not a time mm:ss:ff.").arg(t[1]));
            (cmd == QLatin1String("PREGAP") ? track->pregap : track->postgap) = v;
        } else if (cmd == QLatin1String("FLAGS")) {
            needTrack();
            for (const QString &flag : t.mid(1)) {
                track->info.preEmphasis = track->info.preEmphasis || flag.toUpper() == QLatin1String("PRE");
                track->info.copyPermitted =
                    track->info.copyPermitted || flag.toUpper() == QLatin1String("DCP");
            }
        } else if (cmd == QLatin1String("ISRC")) {
            needTrack();
            track->info.isrc = arg(1);
        }
        // SONGWRITER, CDTEXTFILE and the rest say nothing of the layout.
    }
    if (tracks.empty())
        fail(0, tr("the sheet has no tracks."));
    for (const CueTrack &t : tracks)
        if (t.lastIndex < (t.placeholder ? 0 : 1))
            fail(t.line, tr("track %1 has no INDEX 01.").arg(t.number));

    // The files one after the other, the gaps between: the data up to an
    // index belongs to the track of the index before it.
    qint64 pos = 0; // disc frames
    int active = -1;
    int fileNo = -1;
    qint64 fileSector = 0, fileByte = 0;
    const auto emitData = [&](qint64 toSector, bool toEnd, int line) {
        if (fileNo < 0)
            return;
        const CueFile &f = files[std::size_t(fileNo)];
        const CueTrack *owner = active >= 0 ? &tracks[std::size_t(active)] : nullptr;
        const int block = owner ? owner->block : SectorBytes;
        const QString fileName = QFileInfo(f.probed.path).fileName();
        SheetPiece p;
        p.path = f.probed.path;
        if (f.raw) {
            const qint64 left = f.probed.bytes - fileByte;
            if (toEnd && left % block)
                fail(f.line, tr("%1 ends inside a sector (%2 bytes): the file is cut short.")
                                 .arg(fileName)
                                 .arg(f.probed.bytes));
            const qint64 sectors = toEnd ? left / block : toSector - fileSector;
            if (sectors * block > left)
                fail(line, tr("the index lies past the end of %1.").arg(fileName));
            p.source = SheetPiece::Source::Raw;
            p.offset = fileByte;
            p.bigEndian = f.bigEndian;
            p.frames = sectors * FramesPerSector;
            fileByte += sectors * block;
            fileSector += sectors;
        } else {
            const qint64 left = f.probed.frames - fileSector * FramesPerSector;
            const qint64 frames = toEnd ? left : (toSector - fileSector) * FramesPerSector;
            if (frames > left)
                fail(line, tr("the index lies past the end of %1.").arg(fileName));
            p.source = f.probed.pcmOffset >= 0 ? SheetPiece::Source::Pcm : SheetPiece::Source::Decoded;
            p.offset = f.probed.pcmOffset >= 0 ? f.probed.pcmOffset + fileSector * SectorBytes
                                               : fileSector * FramesPerSector;
            p.frames = frames;
            fileSector = toSector;
        }
        if (owner && !owner->audio)
            p = silence(p.frames);
        addPiece(sheet, pos, p, line);
        // An audio file's last frames fill out their sector with silence.
        if (toEnd && pos % FramesPerSector)
            addPiece(sheet, pos, silence(FramesPerSector - pos % FramesPerSector), line);
    };
    for (const CueEvent &e : events) {
        if (e.file >= 0) {
            emitData(0, true, e.line);
            fileNo = e.file;
            fileSector = fileByte = 0;
            continue;
        }
        if (e.at < fileSector)
            fail(e.line, tr("the index lies before the one ahead of it in the file."));
        emitData(e.at, false, e.line);
        CueTrack &t = tracks[std::size_t(e.track)];
        if (e.track != active) {
            if (active >= 0)
                addPiece(sheet, pos, silence(tracks[std::size_t(active)].postgap * FramesPerSector), e.line);
            if (t.secondSession) {
                sheet.toc.multiSession = true;
                addPiece(sheet, pos, silence(qint64(SessionGapSectors) * FramesPerSector), e.line);
            }
            if (e.number == 0)
                t.info.pregapStart = qint32(pos / FramesPerSector);
            if (t.placeholder)
                t.start = qint32(pos / FramesPerSector);
            active = e.track;
        }
        if (e.number == 1) {
            if (t.pregap > 0 && t.info.pregapStart < 0)
                t.info.pregapStart = qint32(pos / FramesPerSector);
            addPiece(sheet, pos, silence(t.pregap * FramesPerSector), e.line);
            t.start = qint32(pos / FramesPerSector);
        } else if (e.number > 1) {
            t.info.indexes.push_back(qint32(pos / FramesPerSector));
        }
    }
    emitData(0, true, 0);
    addPiece(sheet, pos, silence(tracks.back().postgap * FramesPerSector), 0);
    for (const CueTrack &ct : tracks) {
        TocTrack track;
        track.number = ct.number;
        track.start = ct.start;
        track.audio = ct.audio;
        track.title = ct.title;
        track.performer = ct.performer;
        sheet.toc.tracks.push_back(track);
        sheet.info.push_back(ct.info);
    }
    finishToc(sheet, pos);
    for (std::size_t i = 0; i < tracks.size(); ++i)
        if (sheet.toc.tracks[i].sectors <= 0)
            fail(tracks[i].line, tr("track %1 holds no sectors.").arg(tracks[i].number));
}

// ---- cdrdao tables of contents ----

struct TocToken {
    enum Kind { Word, String, Colon, Open, Close, Hash, Comma, End } kind = End;
    QByteArray text; // String: the bytes with escapes resolved
    int line = 0;
};

std::vector<TocToken> tocTokens(const QByteArray &in) {
    std::vector<TocToken> out;
    int line = 1;
    const qsizetype n = in.size();
    for (qsizetype i = 0; i < n;) {
        const char c = in[i];
        if (c == '\n') {
            ++line;
            ++i;
        } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
            ++i;
        } else if (c == '/' && i + 1 < n && in[i + 1] == '/') {
            while (i < n && in[i] != '\n')
                ++i;
        } else if (c == '"') {
            TocToken t{TocToken::String, {}, line};
            ++i;
            for (;;) {
                if (i >= n || in[i] == '\n')
                    fail(t.line, tr("a string is not closed."));
                const char d = in[i++];
                if (d == '"')
                    break;
                if (d != '\\') {
                    t.text += d;
                    continue;
                }
                if (i >= n)
                    fail(t.line, tr("a string is not closed."));
                if (in[i] >= '0' && in[i] <= '7') {
                    int v = 0, digits = 0;
                    while (digits < 3 && i < n && in[i] >= '0' && in[i] <= '7') {
                        v = v * 8 + (in[i++] - '0');
                        ++digits;
                    }
                    t.text += char(v & 0xFF);
                } else {
                    t.text += in[i++];
                }
            }
            out.push_back(t);
        } else if (c == ':' || c == '{' || c == '}' || c == '#' || c == ',') {
            const TocToken::Kind k = c == ':'   ? TocToken::Colon
                                     : c == '{' ? TocToken::Open
                                     : c == '}' ? TocToken::Close
                                     : c == '#' ? TocToken::Hash
                                                : TocToken::Comma;
            out.push_back({k, QByteArray(1, c), line});
            ++i;
        } else {
            const qsizetype start = i;
            while (i < n && !QByteArrayView(" \t\r\n\f\v\":{}#,").contains(in[i]) &&
                   !(in[i] == '/' && i + 1 < n && in[i + 1] == '/'))
                ++i;
            out.push_back({TocToken::Word, in.mid(start, i - start), line});
        }
    }
    out.push_back({TocToken::End, {}, line});
    return out;
}

struct TocTrackState {
    int line = 0;
    bool audio = true;
    int block = SectorBytes;
    qint64 begin = 0;            // disc frame where the track begins
    qint64 frames = 0;           // its length so far
    qint64 start = -1;           // frames from begin to INDEX 01
    std::vector<qint64> indexes; // frames after INDEX 01
    SheetTrackInfo info;
    QString title, performer;
};

class TocParser {
public:
    TocParser(DiscSheet &sheet, const QByteArray &text, const FileProbe &probe)
        : sheet_(sheet), tokens_(tocTokens(text)), probe_(probe) {}

    void parse() {
        while (peek().kind != TocToken::End) {
            const TocToken t = take();
            if (t.kind != TocToken::Word)
                fail(t.line, tr("unexpected \"%1\".").arg(QString::fromLatin1(t.text)));
            statement(t);
        }
        endTrack();
        if (sheet_.toc.tracks.empty())
            fail(0, tr("the table has no tracks."));
        finishToc(sheet_, pos_);
    }

private:
    const TocToken &peek() const { return tokens_[std::min(at_, tokens_.size() - 1)]; }
    TocToken take() {
        const TocToken t = peek();
        if (at_ < tokens_.size())
            ++at_;
        return t;
    }
    QString upper(const TocToken &t) const { return QString::fromLatin1(t.text).toUpper(); }
    bool peekWord(const char *word) const {
        return peek().kind == TocToken::Word && upper(peek()) == QLatin1String(word);
    }
    TocToken expect(TocToken::Kind kind, const QString &what) {
        const TocToken t = take();
        if (t.kind != kind)
            fail(t.line, tr("%1 expected.").arg(what));
        return t;
    }
    bool peekNumber() const {
        return peek().kind == TocToken::Word && !peek().text.isEmpty() && peek().text[0] >= '0' &&
               peek().text[0] <= '9';
    }
    // A length: mm:ss:ff or, plain, `unit`s (samples of audio, bytes of data).
    qint64 length(qint64 unit, qint64 *plain = nullptr) {
        const TocToken t = expect(TocToken::Word, tr("A length"));
        QString text = QString::fromLatin1(t.text);
        if (peek().kind == TocToken::Colon) {
            for (int i = 0; i < 2; ++i) {
                take();
                text += QLatin1Char(':') + QString::fromLatin1(expect(TocToken::Word, tr("A time")).text);
            }
            const qint64 sectors = msfSectors(text);
            if (sectors < 0)
                fail(t.line, tr("%1 is not a time mm:ss:ff.").arg(text));
            return sectors * FramesPerSector;
        }
        const qint64 v = plainNumber(text, MaxDiscFrames * 4);
        if (v < 0)
            fail(t.line, tr("%1 is not a length.").arg(text));
        if (plain)
            *plain = v;
        return v * unit;
    }
    TocTrackState &track(const TocToken &t) {
        if (!current_)
            fail(t.line, tr("%1 before the first TRACK.").arg(upper(t)));
        return *current_;
    }
    void add(const TocToken &t, SheetPiece piece) {
        TocTrackState &tr1 = track(t);
        if (!tr1.audio)
            piece = silence(piece.frames);
        tr1.frames += piece.frames;
        addPiece(sheet_, pos_, std::move(piece), t.line);
    }
    QString catalog(const TocToken &t) {
        const QString c = sheetText(t.text);
        if (!validCatalog(c))
            fail(t.line, tr("the catalog number %1 is not 13 digits.").arg(c));
        return c;
    }
    static int dataBlock(const QString &mode) {
        static const std::map<QString, int> sizes{
            {QStringLiteral("AUDIO"), 2352},       {QStringLiteral("MODE0"), 2336},
            {QStringLiteral("MODE1"), 2048},       {QStringLiteral("MODE1_RAW"), 2352},
            {QStringLiteral("MODE2"), 2336},       {QStringLiteral("MODE2_FORM1"), 2048},
            {QStringLiteral("MODE2_FORM2"), 2324}, {QStringLiteral("MODE2_FORM_MIX"), 2336},
            {QStringLiteral("MODE2_RAW"), 2352}};
        const auto it = sizes.find(mode);
        return it == sizes.end() ? 0 : it->second;
    }
    void subchannel(int &block) {
        if (peekWord("RW") || peekWord("RW_RAW")) {
            take();
            block += 96;
        }
    }

    void statement(const TocToken &t) {
        const QString w = upper(t);
        if (w == QLatin1String("CD_DA") || w == QLatin1String("CD_ROM") || w == QLatin1String("CD_ROM_XA") ||
            w == QLatin1String("CD_I") || w == QLatin1String("COPY") || w == QLatin1String("PRE_EMPHASIS") ||
            w == QLatin1String("TWO_CHANNEL_AUDIO") || w == QLatin1String("FOUR_CHANNEL_AUDIO")) {
            if (w == QLatin1String("COPY"))
                track(t).info.copyPermitted = true;
            if (w == QLatin1String("PRE_EMPHASIS"))
                track(t).info.preEmphasis = true;
        } else if (w == QLatin1String("NO")) {
            const TocToken what = expect(TocToken::Word, tr("COPY or PRE_EMPHASIS"));
            if (upper(what) != QLatin1String("COPY") && upper(what) != QLatin1String("PRE_EMPHASIS"))
                fail(what.line, tr("COPY or PRE_EMPHASIS expected."));
            track(t);
        } else if (w == QLatin1String("CATALOG")) {
            sheet_.catalog = catalog(expect(TocToken::String, tr("A catalog number")));
        } else if (w == QLatin1String("ISRC")) {
            track(t).info.isrc = sheetText(expect(TocToken::String, tr("An ISRC")).text);
        } else if (w == QLatin1String("CD_TEXT")) {
            cdText(current_ ? &current_->title : &sheet_.toc.title,
                   current_ ? &current_->performer : &sheet_.toc.performer,
                   current_ ? nullptr : &sheet_.toc.genre);
        } else if (w == QLatin1String("TRACK")) {
            endTrack();
            if (sheet_.toc.tracks.size() >= std::size_t(MaxTracks))
                fail(t.line, tr("more than 99 tracks."));
            const TocToken mode = expect(TocToken::Word, tr("A track mode"));
            TocTrackState next;
            next.line = t.line;
            next.block = dataBlock(upper(mode));
            if (next.block == 0)
                fail(mode.line, tr("unknown track mode %1.").arg(QString::fromLatin1(mode.text)));
            next.audio = upper(mode) == QLatin1String("AUDIO");
            subchannel(next.block);
            // A data track after the audio is a second session (enhanced CD);
            // a table read from the disc counts the session gap into the last
            // audio track, as its positions are the disc's.
            if (!next.audio && !sheet_.toc.tracks.empty() && sheet_.toc.tracks.back().audio)
                sheet_.toc.multiSession = true;
            next.begin = pos_;
            current_ = next;
        } else if (w == QLatin1String("SILENCE")) {
            track(t);
            add(t, silence(length(1)));
        } else if (w == QLatin1String("ZERO")) {
            TocTrackState &tr1 = track(t);
            int block = tr1.block;
            if (peek().kind == TocToken::Word && dataBlock(upper(peek())) > 0) {
                block = dataBlock(upper(take()));
                subchannel(block);
            }
            qint64 plain = -1;
            qint64 frames = length(1, &plain);
            if (plain >= 0 && !tr1.audio)
                frames = plain / block * FramesPerSector;
            add(t, silence(frames));
        } else if (w == QLatin1String("FILE") || w == QLatin1String("AUDIOFILE")) {
            audioFile(t);
        } else if (w == QLatin1String("DATAFILE")) {
            dataFile(t);
        } else if (w == QLatin1String("START")) {
            TocTrackState &tr1 = track(t);
            if (tr1.start >= 0)
                fail(t.line, tr("a second START or PREGAP in the track."));
            tr1.start = peekNumber() ? length(1) : tr1.frames;
            if (tr1.start > tr1.frames)
                fail(t.line, tr("START lies past the track's data so far."));
        } else if (w == QLatin1String("PREGAP")) {
            TocTrackState &tr1 = track(t);
            if (tr1.start >= 0 || tr1.frames > 0)
                fail(t.line, tr("PREGAP must come first in the track."));
            const qint64 gap = length(1);
            add(t, silence(gap));
            tr1.start = gap;
        } else if (w == QLatin1String("INDEX")) {
            TocTrackState &tr1 = track(t);
            const qint64 at = length(1);
            if (at <= (tr1.indexes.empty() ? 0 : tr1.indexes.back()))
                fail(t.line, tr("INDEX does not follow the previous index."));
            tr1.indexes.push_back(at);
        } else {
            fail(t.line, tr("unknown word %1.").arg(QString::fromLatin1(t.text)));
        }
    }

    // "#N" after a file name: where in the file its data begins.
    qint64 optionalByteOffset(const TocToken &t) {
        if (peek().kind != TocToken::Hash)
            return 0;
        take();
        const qint64 offset = plainNumber(
            QString::fromLatin1(expect(TocToken::Word, tr("A byte offset")).text), MaxDiscFrames * 4);
        if (offset < 0)
            fail(t.line, tr("a byte offset is not a number."));
        return offset;
    }

    void audioFile(const TocToken &t, bool fromStart = false) {
        TocTrackState &tr1 = track(t);
        const QString name = sheetText(expect(TocToken::String, tr("A file name")).text);
        bool swap = false;
        if (peekWord("SWAP")) {
            take();
            swap = true;
        }
        const qint64 byteOffset = optionalByteOffset(t);
        const qint64 start = fromStart ? 0 : length(1);
        const bool wave = name.endsWith(QLatin1String(".wav"), Qt::CaseInsensitive);
        QString error;
        const std::optional<ProbedFile> f =
            tr1.audio ? probe_(name, wave, error) : probe_(name, false, error);
        if (!f)
            fail(t.line, error);
        SheetPiece p;
        p.path = f->path;
        qint64 available = 0;
        if (wave && f->pcmOffset < 0) {
            p.source = SheetPiece::Source::Decoded;
            p.offset = start;
            available = f->frames - start;
        } else {
            p.source = wave ? SheetPiece::Source::Pcm : SheetPiece::Source::Raw;
            // Raw samples are big-endian as on the disc, unless swapped.
            p.bigEndian = !wave && !swap;
            const qint64 base = wave ? f->pcmOffset : byteOffset;
            p.offset = base + start * 4;
            available = ((wave ? f->pcmOffset + f->frames * 4 : f->bytes) - p.offset) / 4;
        }
        p.frames = peekNumber() ? length(1) : available;
        if (p.frames <= 0)
            fail(t.line, tr("no samples of %1 are taken.").arg(QFileInfo(f->path).fileName()));
        if (p.frames > available)
            fail(t.line, tr("%1 is shorter than the table says (%2 frames missing): the file is cut short.")
                             .arg(QFileInfo(f->path).fileName())
                             .arg(p.frames - std::max<qint64>(available, 0)));
        add(t, p);
    }

    void dataFile(const TocToken &t) {
        TocTrackState &tr1 = track(t);
        if (tr1.audio) // raw audio samples, named as data
            return audioFile(t, true);
        const QString name = sheetText(expect(TocToken::String, tr("A file name")).text);
        const qint64 byteOffset = optionalByteOffset(t);
        qint64 sectors = -1;
        if (peekNumber()) {
            qint64 plain = -1;
            const qint64 frames = length(1, &plain);
            sectors = plain >= 0 ? plain / tr1.block : frames / FramesPerSector;
        }
        if (sectors < 0) {
            QString error;
            const std::optional<ProbedFile> f = probe_(name, false, error);
            if (!f)
                fail(t.line, error);
            sectors = std::max<qint64>(f->bytes - byteOffset, 0) / tr1.block;
        }
        add(t, silence(sectors * FramesPerSector));
    }

    // CD_TEXT { LANGUAGE_MAP { 0 : EN } LANGUAGE 0 { TITLE "..." PERFORMER "..." SIZE_INFO { 1, 2 } } }
    void cdText(QString *title, QString *performer, QString *genre) {
        expect(TocToken::Open, QStringLiteral("{"));
        bool firstLanguage = true;
        while (peek().kind != TocToken::Close) {
            const TocToken t = expect(TocToken::Word, tr("LANGUAGE or LANGUAGE_MAP"));
            if (upper(t) == QLatin1String("LANGUAGE_MAP")) {
                expect(TocToken::Open, QStringLiteral("{"));
                while (peek().kind != TocToken::Close) {
                    expect(TocToken::Word, tr("A language number"));
                    expect(TocToken::Colon, QStringLiteral(":"));
                    expect(TocToken::Word, tr("A language code"));
                    if (peek().kind == TocToken::Comma)
                        take();
                }
                take();
            } else if (upper(t) == QLatin1String("LANGUAGE")) {
                expect(TocToken::Word, tr("A language number"));
                expect(TocToken::Open, QStringLiteral("{"));
                while (peek().kind != TocToken::Close) {
                    const TocToken key = expect(TocToken::Word, tr("A CD-Text item"));
                    if (peek().kind == TocToken::String) {
                        const QString value = sheetText(take().text);
                        const QString k = upper(key);
                        if (firstLanguage && k == QLatin1String("TITLE"))
                            *title = value;
                        else if (firstLanguage && k == QLatin1String("PERFORMER"))
                            *performer = value;
                        else if (firstLanguage && genre && k == QLatin1String("GENRE"))
                            *genre = value;
                    } else {
                        binaryValue();
                    }
                }
                take();
                firstLanguage = false;
            } else {
                fail(t.line, tr("LANGUAGE or LANGUAGE_MAP expected."));
            }
        }
        take();
    }
    void binaryValue() {
        expect(TocToken::Open, QStringLiteral("{"));
        while (peek().kind == TocToken::Word || peek().kind == TocToken::Comma)
            take();
        expect(TocToken::Close, QStringLiteral("}"));
    }

    void endTrack() {
        if (!current_)
            return;
        TocTrackState &t = *current_;
        if (t.frames % FramesPerSector)
            fail(t.line, tr("the track is not a whole number of sectors (%1 frames).").arg(t.frames));
        if (t.frames == 0)
            fail(t.line, tr("the track is empty."));
        const qint64 start = std::max<qint64>(t.start, 0);
        if (start >= t.frames)
            fail(t.line, tr("the track's START lies at its end."));
        TocTrack track;
        track.number = int(sheet_.toc.tracks.size()) + 1;
        track.start = qint32((t.begin + start) / FramesPerSector);
        track.audio = t.audio;
        track.title = t.title;
        track.performer = t.performer;
        if (start > 0)
            t.info.pregapStart = qint32(t.begin / FramesPerSector);
        for (qint64 at : t.indexes)
            if (start + at < t.frames)
                t.info.indexes.push_back(track.start + qint32(at / FramesPerSector));
        sheet_.toc.tracks.push_back(track);
        sheet_.info.push_back(t.info);
        current_.reset();
    }

    DiscSheet &sheet_;
    std::vector<TocToken> tokens_;
    std::size_t at_ = 0;
    const FileProbe &probe_;
    std::optional<TocTrackState> current_;
    qint64 pos_ = 0;
};

// ---- files on disk ----

QString findFile(const QString &sheetPath, QString name) {
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QDir dir = QFileInfo(sheetPath).absoluteDir();
    const QString direct = QFileInfo(name).isAbsolute() ? name : dir.filePath(name);
    if (QFileInfo(direct).isFile())
        return direct;
    // Sheets made on other systems: another case, or a path that only held there.
    const QFileInfo wanted(direct);
    for (const QDir &in : {wanted.absoluteDir(), dir}) {
        const QStringList entries = in.entryList(QDir::Files);
        for (const QString &entry : entries)
            if (entry.compare(wanted.fileName(), Qt::CaseInsensitive) == 0)
                return in.filePath(entry);
    }
    return {};
}

// A canonical 16-bit stereo 44.1 kHz PCM WAV: where its samples lie.
bool pcmWave(QFile &f, ProbedFile &p) {
    const QByteArray head = f.read(1 << 16);
    if (head.size() < 12 || !head.startsWith("RIFF") || head.mid(8, 4) != "WAVE")
        return false;
    bool format = false;
    for (qsizetype at = 12; at + 8 <= head.size();) {
        const QByteArray id = head.mid(at, 4);
        const quint32 size = qFromLittleEndian<quint32>(head.constData() + at + 4);
        const qsizetype body = at + 8;
        if (id == "fmt ") {
            if (body + 16 > head.size())
                return false;
            const auto u16 = [&](int o) { return qFromLittleEndian<quint16>(head.constData() + body + o); };
            const quint16 tag = u16(0);
            format = (tag == 1 || tag == 0xFFFE) && u16(2) == 2 &&
                     qFromLittleEndian<quint32>(head.constData() + body + 4) == 44100 && u16(14) == 16;
            if (tag == 0xFFFE && (size < 40 || body + 26 > head.size() || u16(24) != 1))
                format = false;
        } else if (id == "data") {
            if (!format)
                return false;
            p.pcmOffset = body;
            const qint64 left = f.size() - body;
            p.frames = std::min<qint64>(size, left) / 4;
            return true;
        }
        at = body + qsizetype(size) + (size & 1);
    }
    return false;
}

std::optional<ProbedFile> probeOnDisk(const QString &sheetPath, const QString &name, bool audio,
                                      QString &error) {
    ProbedFile p;
    p.path = findFile(sheetPath, name);
    if (p.path.isEmpty()) {
        error = tr("the file %1 is missing.").arg(name);
        return std::nullopt;
    }
    QFile f(p.path);
    if (!f.open(QIODevice::ReadOnly)) {
        error = tr("cannot read %1: %2").arg(QDir::toNativeSeparators(p.path), f.errorString());
        return std::nullopt;
    }
    p.bytes = f.size();
    if (!audio || pcmWave(f, p))
        return p;
    AudioDecoder::Failure failure;
    QString why;
    const auto decoder = AudioDecoder::open(p.path, &failure, &why);
    if (!decoder) {
        error = tr("%1 cannot be decoded: %2").arg(QFileInfo(p.path).fileName(), why);
        return std::nullopt;
    }
    if (decoder->sampleRate() != 44100 || decoder->channels() != 2) {
        error = tr("%1 is not CD audio (it has %2 Hz, %3 channels).")
                    .arg(QFileInfo(p.path).fileName())
                    .arg(decoder->sampleRate())
                    .arg(decoder->channels());
        return std::nullopt;
    }
    p.frames = decoder->length();
    if (p.frames <= 0) {
        error = tr("%1 holds no audio.").arg(QFileInfo(p.path).fileName());
        return std::nullopt;
    }
    return p;
}

} // namespace

SheetResult parseCueSheet(const QByteArray &text, const QString &name, const FileProbe &probe) {
    return finished(name, [&](DiscSheet &sheet) { parseCue(sheet, text, probe); });
}

SheetResult parseTocFile(const QByteArray &text, const QString &name, const FileProbe &probe) {
    return finished(name, [&](DiscSheet &sheet) { TocParser(sheet, text, probe).parse(); });
}

SheetResult readDiscSheet(const QString &path) {
    SheetResult r;
    const QString name = QFileInfo(path).fileName();
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        r.error = tr("Cannot read %1: %2").arg(QDir::toNativeSeparators(path), f.errorString());
        return r;
    }
    // A sheet is a few kilobytes of text; anything far larger is not one.
    if (f.size() > (1 << 20)) {
        r.error = tr("%1 is too large to be a cue sheet or table of contents.").arg(name);
        return r;
    }
    const QByteArray text = f.readAll();
    if (text.contains('\0')) {
        r.error = tr("%1 is not a text file.").arg(name);
        return r;
    }
    const FileProbe probe = [&](const QString &file, bool audio, QString &error) {
        return probeOnDisk(path, file, audio, error);
    };
    const bool cue = QFileInfo(path).suffix().compare(QLatin1String("cue"), Qt::CaseInsensitive) == 0;
    return cue ? parseCueSheet(text, name, probe) : parseTocFile(text, name, probe);
}

// ---- samples ----

struct SheetSamples::Open {
    QString path;
    QFile file;
    std::unique_ptr<AudioDecoder> decoder;
};

SheetSamples::SheetSamples(const DiscSheet &sheet) : pieces_(sheet.pieces) {
    qint64 end = 0;
    for (const SheetPiece &p : pieces_)
        ends_.push_back(end += p.frames);
}

SheetSamples::~SheetSamples() = default;

SheetSamples::Open &SheetSamples::openFile(const QString &path, bool decoded) {
    for (auto &o : open_)
        if (o->path == path && bool(o->decoder) == decoded)
            return *o;
    auto o = std::make_unique<Open>();
    o->path = path;
    if (decoded) {
        AudioDecoder::Failure failure;
        o->decoder = AudioDecoder::open(path, &failure, &error_);
    } else {
        o->file.setFileName(path);
        if (!o->file.open(QIODevice::ReadOnly))
            error_ = o->file.errorString();
    }
    open_.push_back(std::move(o));
    return *open_.back();
}

bool SheetSamples::readPiece(const SheetPiece &piece, qint64 from, qint64 frames, qint16 *out) {
    switch (piece.source) {
    case SheetPiece::Source::Silence:
        std::fill(out, out + frames * 2, qint16(0));
        return true;
    case SheetPiece::Source::Raw:
    case SheetPiece::Source::Pcm: {
        Open &o = openFile(piece.path, false);
        if (!o.file.isOpen() || !o.file.seek(piece.offset + from * 4))
            return false;
        const qint64 bytes = frames * 4;
        if (o.file.read(reinterpret_cast<char *>(out), bytes) != bytes) {
            error_ = QCoreApplication::translate("DiscSheet", "%1 is cut short.").arg(piece.path);
            return false;
        }
        if (piece.bigEndian)
            qFromBigEndian<qint16>(out, frames * 2, out);
        else
            qFromLittleEndian<qint16>(out, frames * 2, out);
        return true;
    }
    case SheetPiece::Source::Decoded: {
        Open &o = openFile(piece.path, true);
        if (!o.decoder)
            return false;
        const qint64 at = piece.offset + from;
        if (o.decoder->position() != at && !o.decoder->seek(at))
            return false;
        SampleBlock block;
        while (qint64(block.size()) < frames * 2)
            if (o.decoder->read(block, frames - qint64(block.size()) / 2) == 0) {
                error_ = QCoreApplication::translate("DiscSheet", "%1 ends early.").arg(piece.path);
                return false;
            }
        for (qint64 i = 0; i < frames * 2; ++i)
            out[i] = qint16(block[std::size_t(i)] >> 16);
        return true;
    }
    }
    return false;
}

void SheetSamples::readLeadOut(qint64 from, qint64 frames, qint16 *out) {
    SheetPiece past = pieces_.back();
    if (past.source != SheetPiece::Source::Raw && past.source != SheetPiece::Source::Pcm)
        return;
    Open &o = openFile(past.path, false);
    const qint64 at = past.offset + (past.frames + from) * 4;
    const qint64 held = o.file.isOpen() ? std::min(frames, (o.file.size() - at) / 4) : 0;
    if (held <= 0)
        return;
    past.offset = at;
    past.frames = held;
    readPiece(past, 0, held, out);
}

long SheetSamples::read(qint32 first, long count, qint16 *out) {
    if (count <= 0)
        return 0;
    if (!out)
        return count;
    qint64 at = qint64(first) * FramesPerSector;
    const qint64 end = at + qint64(count) * FramesPerSector;
    qint16 *to = out;
    // Before the disc and after its last piece the drive would give silence.
    while (at < end) {
        const auto it = at < 0 ? ends_.end() : std::upper_bound(ends_.begin(), ends_.end(), at);
        qint64 n;
        if (it == ends_.end()) {
            n = at < 0 ? std::min(end, qint64(0)) - at : end - at;
            std::fill(to, to + n * 2, qint16(0));
            // Past the end, what the last file holds beyond the disc is its
            // lead-out, as a drive that overreads gives it.
            if (at >= 0 && !pieces_.empty())
                readLeadOut(at - ends_.back(), n, to);
        } else {
            const std::size_t i = std::size_t(it - ends_.begin());
            const qint64 pieceStart = *it - pieces_[i].frames;
            n = std::min(end, *it) - at;
            if (!readPiece(pieces_[i], at - pieceStart, n, to))
                return -1;
        }
        at += n;
        to += n * 2;
    }
    return count;
}

} // namespace varnelo::cd
