// Vorbis comment reading from .ogg files. Ogg pages carry checksums, so most
// mutated files would stop at the page layer: the input is mostly used as the
// comment header of an otherwise valid stream this target builds around it,
// and sometimes read as the whole file.
#include "FuzzSupport.h"
#include "common/Error.h"
#include "platform/tags/TrackTagReaders.h"

#include <QBuffer>

#include <ogg/ogg.h>
#include <vorbis/vorbisenc.h>

using namespace varnelo;

namespace {

// The identification and setup headers of a real encoder set-up.
struct Headers {
    QByteArray identification, setup;
};

const Headers &validHeaders() {
    static const Headers headers = [] {
        Headers h;
        vorbis_info info;
        vorbis_info_init(&info);
        vorbis_encode_init_vbr(&info, 1, 8000, 0.1f);
        vorbis_comment comment;
        vorbis_comment_init(&comment);
        vorbis_dsp_state dsp;
        vorbis_analysis_init(&dsp, &info);
        ogg_packet id, com, setup;
        vorbis_analysis_headerout(&dsp, &comment, &id, &com, &setup);
        h.identification = QByteArray(reinterpret_cast<const char *>(id.packet), qsizetype(id.bytes));
        h.setup = QByteArray(reinterpret_cast<const char *>(setup.packet), qsizetype(setup.bytes));
        vorbis_dsp_clear(&dsp);
        vorbis_comment_clear(&comment);
        vorbis_info_clear(&info);
        return h;
    }();
    return headers;
}

void packetIn(ogg_stream_state &stream, const QByteArray &bytes, long number, bool first) {
    ogg_packet p{};
    p.packet = reinterpret_cast<unsigned char *>(const_cast<char *>(bytes.constData()));
    p.bytes = bytes.size();
    p.b_o_s = first ? 1 : 0;
    p.packetno = number;
    ogg_stream_packetin(&stream, &p);
}

void flushPages(ogg_stream_state &stream, QByteArray &out) {
    ogg_page page;
    while (ogg_stream_flush(&stream, &page) != 0) {
        out.append(reinterpret_cast<const char *>(page.header), page.header_len);
        out.append(reinterpret_cast<const char *>(page.body), page.body_len);
    }
}

QByteArray streamAround(const QByteArray &commentBody) {
    const Headers &h = validHeaders();
    ogg_stream_state stream;
    ogg_stream_init(&stream, 0x5EED);
    QByteArray out;
    packetIn(stream, h.identification, 0, true);
    flushPages(stream, out);
    packetIn(stream, QByteArray("\x03vorbis", 7) + commentBody, 1, false);
    packetIn(stream, h.setup, 2, false);
    flushPages(stream, out);
    ogg_stream_clear(&stream);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::quietQt();
    fuzz::Input input(data, size);
    const bool wholeFile = input.byte() == 'O';
    QByteArray file = wholeFile ? input.rest() : streamAround(input.rest());
    QBuffer device(&file);
    device.open(QIODevice::ReadOnly);
    try {
        if (const auto fields = ReadVorbisComments(device, QStringLiteral("fuzz.ogg"))) {
            const qsizetype most = qsizetype(size);
            FUZZ_CHECK(fields->genre.size() <= most && fields->title.size() <= most &&
                       fields->artist.size() <= most && fields->album.size() <= most);
        }
    } catch (const Error &e) {
        FUZZ_CHECK(e.message().startsWith(QLatin1String("Cannot open fuzz.ogg: ")));
    }
    return 0;
}
