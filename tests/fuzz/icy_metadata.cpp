// ICY metadata blocks cut out of the audio: a fixed answer announces the
// interval the input chooses, the rest of the input is the body, read in
// chunks of the sizes the input chooses.
#include "FuzzSupport.h"
#include "platform/stream/IcyConnection.h"
#include "radio/StreamTitle.h"

using namespace varnelo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::quietQt();
    fuzz::Input input(data, size);
    const int metaint = 1 + input.byte() % 64;
    const int chunkSize = 1 + input.byte() % 200;
    const QByteArray body = input.rest();
    const QByteArray response = "ICY 200 OK\r\nicy-name: fuzz\r\ncontent-type: audio/mpeg\r\nicy-metaint: " +
                                QByteArray::number(metaint) + "\r\n\r\n" + body;
    IcyConnection connection(IcyConnection::Limits{}, [] { return false; });
    FUZZ_CHECK(connection.openResponse(response, QUrl(QStringLiteral("http://127.0.0.1:8000/live"))));
    FUZZ_CHECK(connection.metaint() == metaint);

    qint64 metaBytes = 0;
    connection.setMetadataHandler([&](const QByteArray &text) {
        FUZZ_CHECK(!text.isEmpty() && text.size() <= 255 * 16 && !text.contains('\0'));
        metaBytes += text.size();
        ParseStreamTitle(decodeStreamText(text));
    });
    qint64 audio = 0;
    char chunk[256];
    for (;;) {
        const qint64 n = connection.readAudio(chunk, chunkSize);
        if (n <= 0)
            break;
        FUZZ_CHECK(n <= chunkSize);
        audio += n;
    }
    // Audio and metadata never overlap: together they fit in the body.
    FUZZ_CHECK(audio + metaBytes <= body.size());
    // Every whole interval of audio before the end was followed by its block.
    FUZZ_CHECK(audio <= qint64(metaint) * (1 + body.size() / (metaint + 1)));
    return 0;
}
