#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets (tests/fuzz/<target>/).

Small hand-made inputs of each format, good and a little damaged; the binary
ones (tags, ASF headers, records, Vorbis comment headers) are built here so the
folders can be regenerated. Run from anywhere: python3 tests/fuzz/seeds.py
"""
import os
import struct
import uuid

HERE = os.path.dirname(os.path.abspath(__file__))


def put(target, name, data):
    folder = os.path.join(HERE, target)
    os.makedirs(folder, exist_ok=True)
    if isinstance(data, str):
        data = data.encode('utf-8')
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(data)


# ---- ID3v1 ------------------------------------------------------------------
def id3v1(title, artist, album, genre, year=b'2001', comment=b''):
    def field(b, n):
        return b[:n].ljust(n, b'\0')
    return b'TAG' + field(title, 30) + field(artist, 30) + field(album, 30) + field(year, 4) + \
        field(comment, 30) + bytes([genre])


put('id3v1', 'plain', b'\xff\xfb\x90\x00' * 8 + id3v1(b'Blue Song', b'The Band', b'First Album', 17))
put('id3v1', 'padded-spaces', id3v1(b'Title   ', b'Artist' + b' ' * 24, b'', 255))
put('id3v1', 'latin1', id3v1(b'Caf\xe9 d\xe9j\xe0', b'\x80uro \x93quoted\x94', b'\xc3\xa9t\xc3\xa9', 147))
put('id3v1', 'short-file', b'TAG too short')
put('id3v1', 'no-tag', b'ID3\x03\x00\x00\x00\x00\x00\x00' + b'\0' * 118)

# ---- ASF header ---------------------------------------------------------------


def guid(text):
    return uuid.UUID(text).bytes_le


HEADER = guid('75B22630-668E-11CF-A6D9-00AA0062CE6C')
CONTENT = guid('75B22633-668E-11CF-A6D9-00AA0062CE6C')
EXTENDED = guid('D2D0A440-E307-11D2-97F0-00A0C95EA850')
LEGACY_HEADER = guid('D6E229D1-35DA-11D1-9034-00A0C90349BE')
LEGACY_DESCRIPTION = guid('D6E229D5-35DA-11D1-9034-00A0C90349BE')
OTHER = guid('8CABDCA1-A947-11CF-8EE4-00C00C205365')  # file properties


def u16(s):
    return s.encode('utf-16-le') + b'\0\0'


def obj(g, payload):
    return g + struct.pack('<Q', 24 + len(payload)) + payload


def content_description(title, author):
    t, a = u16(title), u16(author)
    return obj(CONTENT, struct.pack('<5H', len(t), len(a), 0, 0, 0) + t + a)


def extended(pairs):
    body = struct.pack('<H', len(pairs))
    for name, value, kind in pairs:
        n = u16(name)
        v = u16(value) if kind == 0 else struct.pack('<I', value)
        body += struct.pack('<H', len(n)) + n + struct.pack('<HH', kind, len(v)) + v
    return obj(EXTENDED, body)


def asf(objects):
    body = struct.pack('<IBB', len(objects), 1, 2) + b''.join(objects)
    return obj(HEADER, body)


put('asf_header', 'current', asf([obj(OTHER, b'\0' * 80), content_description('Night Drive', 'Someone'),
                                  extended([('WM/AlbumTitle', 'Roads', 0), ('WM/Genre', 'Jazz', 0),
                                            ('WM/TrackNumber', 3, 3)])]))
put('asf_header', 'extended-only', asf([extended([('Title', 'Only Here', 0), ('Author', 'Nobody', 0)])]))
whole = asf([content_description('Cut', 'Short')])
put('asf_header', 'truncated', whole[:len(whole) - 7])


def legacy_entry(ident, name, value):
    n, v = name.encode('utf-16-le'), value.encode('utf-16-le')
    return bytes([ident]) + b'\0' * 4 + struct.pack('<HH', len(name), len(value)) + n + v


legacy_body = struct.pack('<H', 2) + legacy_entry(1, 'Author', 'Old Writer') + legacy_entry(2, 'Title', 'Old Song')
put('asf_header', 'legacy', obj(LEGACY_HEADER, obj(LEGACY_DESCRIPTION, legacy_body)))

# ---- Vorbis comments: the comment header after "\x03vorbis" --------------------


def comment_header(vendor, comments, framing=True):
    out = struct.pack('<I', len(vendor)) + vendor + struct.pack('<I', len(comments))
    for c in comments:
        out += struct.pack('<I', len(c)) + c
    return out + (b'\x01' if framing else b'')


put('vorbis_comments', 'tags', b'c' + comment_header(b'Xiph.Org libVorbis I 20200704',
                                                     [b'TITLE=Morning', b'artist=Somebody', b'ALBUM=Days',
                                                      b'GENRE=Ambient', b'title=Evening']))
put('vorbis_comments', 'odd-names', b'c' + comment_header(b'v', [b'=empty name', b'no equals', b'T\x7fITLE=x',
                                                                 b'ARTIST=\xc3\xa9t\xc3\xa9 \x01\x02 ']))
put('vorbis_comments', 'no-framing', b'c' + comment_header(b'vendor', [b'ALBUM=A'], framing=False))
put('vorbis_comments', 'huge-count', b'c' + struct.pack('<I', 3) + b'abc' + struct.pack('<I', 0x7fffffff))

# ---- ICY answers ----------------------------------------------------------------


def meta_block(text):
    data = text.encode('utf-8')
    blocks = (len(data) + 15) // 16
    return bytes([blocks]) + data.ljust(blocks * 16, b'\0')


audio = b'\xff\xfb\x90\x64' + b'\x11' * 12
put('icy_response', 'icy-metadata',
    b'ICY 200 OK\r\nicy-name:Test FM\r\nicy-genre: Jazz\r\nicy-url:http://example.org\r\n'
    b'content-type: audio/mpeg\r\nicy-metaint: 16\r\n\r\n' + audio + meta_block("StreamTitle='A - B';") + audio +
    b'\0' + audio)
put('icy_response', 'http-audio', 'HTTP/1.1 200 OK\r\nContent-Type: audio/ogg\r\nContent-Length: 4\r\n\r\nOggS')
put('icy_response', 'pls', 'HTTP/1.0 200 OK\r\nContent-Type: audio/x-scpls\r\n\r\n'
                           '[playlist]\r\nNumberOfEntries=2\r\nFile1=http://127.0.0.1:8001/a\r\n'
                           'Title1=One\r\nFile2=/relative/b\r\n')
put('icy_response', 'm3u-hls', 'HTTP/1.0 200 OK\r\nContent-Type: application/vnd.apple.mpegurl\r\n\r\n'
                               '#EXTM3U\n#EXT-X-VERSION:3\n#EXTINF:10,\nseg1.ts\n')
put('icy_response', 'redirect', 'HTTP/1.1 302 Found\r\nLocation: /elsewhere?x=1\r\n\r\n')
put('icy_response', 'not-found', 'HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n')
put('icy_response', 'bad-metaint', 'ICY 200 OK\r\nicy-metaint: 99999999999\r\n\r\nxxxx')
put('icy_response', 'bare-lf', '\n\nICY 200 OK\nicy-metaint:8\n\n12345678\x01StreamTitle=\'x\'\0\0\0\0')

put('icy_metadata', 'one-title', bytes([15, 7]) + audio + meta_block("StreamTitle='Artist - Song';"))
put('icy_metadata', 'empty-blocks', bytes([3, 1]) + b'abc\0def\0ghi\0')
put('icy_metadata', 'long-block', bytes([0, 64]) + b'a' + b'\xff' + b'x' * 100)
put('icy_metadata', 'cut-block', bytes([7, 3]) + b'1234567\x05StreamTitle=')

# ---- Stream titles and header lines ---------------------------------------------
put('stream_title', 'plain', "StreamTitle='Artist - Title';StreamUrl='http://x';")
put('stream_title', 'semicolon', "StreamTitle='Rock;Roll';StreamUrl='';")
put('stream_title', 'no-quote', 'StreamTitle=Bare words')
put('stream_title', 'before', "x;StreamTitle='After';")
put('stream_title', 'headers', 'icy-name: Radio \x1b[2J\r\nicy-genre:Pop\nicy-url:http://h/\nicy-name:Second')
put('stream_title', 'latin1', b"StreamTitle='Caf\xe9 \x80';")

# ---- Playlists for the stream library (first byte: content type and address) ---
put('stream_playlist', 'pls', b'\x01[playlist]\nFile3=http://127.0.0.1/c\nfile1 = https://h:8443/a\nFILE2=/b\n')
put('stream_playlist', 'm3u', b'\x0a#EXTM3U\n#EXTINF:-1,Name\nhttp://127.0.0.1:8000/live\n\nrelative.mp3\nftp://no/\n')
put('stream_playlist', 'hls', b'\x0a#EXTM3U\n#EXT-X-TARGETDURATION:10\nhttp://h/seg.ts\n')
put('stream_playlist', 'xspf', b'\x1b<?xml version="1.0"?>\n<playlist version="1" xmlns="http://xspf.org/ns/0/">'
                               b'<trackList><track><location>http://127.0.0.1/x</location></track>'
                               b'<track><location>rel/y.ogg</location></track></trackList></playlist>')
put('stream_playlist', 'asx', b'\x24<ASX version="3.0"><Entry><Ref HREF="http://127.0.0.1/a?x=1&amp;y=2"/></Entry>'
                              b"<entryref href='https://h/b.asx'/></asx>")
put('stream_playlist', 'bom', b'\x00\xef\xbb\xbf[Playlist]\r\nFile1=http://[::1]:8000/\r\n')

# ---- Playlist import (first byte: the file's name) ---------------------------------
put('playlist_import', 'pls', b'\x00[playlist]\r\nFile1=http://a/1\r\nTitle1=One\r\nFile2=http://a/2\r\n'
                              b'Title3=No file\r\nNumberOfEntries=2\r\n')
put('playlist_import', 'm3u', b'\x01#EXTM3U\n#EXTINF:-1,Jazz Radio\n#EXTGENRE:Jazz\nhttp://j/\nhttp://k/\n')
put('playlist_import', 'm3u8', b'\x02#EXTM3U\r#EXTINF:0,Caf\xc3\xa9\rhttp://c/\r')
put('playlist_import', 'unknown', b'\x03[playlist]\nFile1=http://x/\n')
put('playlist_import', 'not-playlist', b'\x03just text\n')

# ---- Tree text ------------------------------------------------------------------
put('tree_text', 'catalogue', 'Radio\r\n\tJazz\r\n\t\tSmooth\r\n\tRock\r\nFavorites\r\n')
put('tree_text', 'library', 'Music\r\n\tArtists\r\n\t\tSomeone\r\n\t\t\tAn Album\r\n\tGenres\r\n\t\tPop\r\n')
put('tree_text', 'mixed-ends', b'A\n B\r  C\r\n\tD\n\xe9t\xe9\r\n')
put('tree_text', 'too-deep', 'Root\r\n\t\t\tDeep\r\nAfter\r\n')
put('tree_text', 'nul', b'Root\r\n\tChild\0\r\n\tHidden\r\n')

# ---- Records ----------------------------------------------------------------------


def record(size, fields, values):
    out = bytearray(size)
    for (offset, width), value in zip(fields, values):
        data = value.encode('utf-8')[:width] if isinstance(value, str) else value[:width]
        out[offset] = len(data)
        out[offset + 1:offset + 1 + len(data)] = data
    return bytes(out)


STATION = [(0, 50), (51, 50), (102, 30), (133, 100)]
put('station_record', 'two', record(234, STATION, ['http://home/', 'http://s:8000/live', 'Jazz', 'Jazz FM']) +
    record(234, STATION, ['', 'https://x/y', 'Pop', 'Caf\u00e9 Radio \u2014 \U0001F3B5']))
damaged = bytearray(record(234, STATION, ['h', 's', 'g', 'n']))
damaged[51] = 255
damaged[133] = 200
put('station_record', 'damaged-lengths', bytes(damaged) + b'tail')
put('station_record', 'latin1', record(234, STATION, [b'', b'http://\xe9/', b'\x80\x81\x9f', b'Na\xefve']))

LIBRARY = [(0, 10), (11, 100), (112, 80), (193, 100), (294, 255)]
put('library_record', 'one', record(550, LIBRARY, ['Rock', 'A Song', 'A Band', 'An Album', '/music/a.mp3']))
lib_damaged = bytearray(record(550, LIBRARY, ['G', 'T', 'A', 'B', '/p']))
lib_damaged[0] = 255
lib_damaged[294] = 255
put('library_record', 'damaged-lengths', bytes(lib_damaged) + b'\0' * 17)
put('library_record', 'cut-utf8', record(550, LIBRARY, ['\u00e9' * 5, '\u4e2d' * 40, '', '', '/x/' + 'a' * 300]))

# ---- Settings file ------------------------------------------------------------------
put('settings_file', 'temp.ini', '[mp3]\r\nbitrate=9\r\nchannel=1\r\n\r\n[MP3VBR]\r\nCoding Method=0\r\n'
                                 'vbrck=1\r\n[Timer]\r\ntime=07:30:00\r\ndate=2024-02-29\r\nvolume=0x1F\r\n'
                                 'flag=true\r\nold=$ff\r\n; comment=not a key\r\n')
put('settings_file', 'bom-lf', b'\xef\xbb\xbf[ Options ]\nKey = value with = sign\nkey=second\n[options]\nn=-12\n')
put('settings_file', 'odd', b'no section=1\n[unclosed\n=empty key\n[]\nx=\xff\xfe\n[a]]\r\r\ny=1\r')

# ---- Vorbis: a whole file (first byte "O"), the header pages of a sox encode ----------


def ogg_header_pages(data):
    """The pages before the first audio page (granule position 0)."""
    out, pos = b'', 0
    while pos + 27 <= len(data) and data[pos:pos + 4] == b'OggS':
        granule = struct.unpack_from('<q', data, pos + 6)[0]
        segments = data[pos + 26]
        length = 27 + segments + sum(data[pos + 27:pos + 27 + segments])
        if granule != 0:
            break
        out += data[pos:pos + length]
        pos += length
    return out


def sox_ogg():
    import subprocess
    import tempfile
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, 'x.ogg')
        subprocess.run(['sox', '-n', '-r', '8000', '-c', '1', path, 'trim', '0', '0.1'], check=True)
        subprocess.run(['vorbiscomment', '-w', '-t', 'TITLE=Header Only', '-t', 'ARTIST=Seed', path], check=True)
        with open(path, 'rb') as f:
            return f.read()


put('vorbis_comments', 'whole-file', b'O' + ogg_header_pages(sox_ogg()))
