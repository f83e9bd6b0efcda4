// An answer handed over as bytes (the fuzz targets' way in) is read by the
// same header, status and metadata code as one that comes from a server.
#include "platform/stream/IcyConnection.h"

#include <gtest/gtest.h>

namespace varnelo {
namespace {

struct Read {
    bool opened = false;
    QUrl redirect;
    IcyConnection::Failure failure = IcyConnection::Failure::None;
    QString error;
    QList<QByteArray> headers;
    int metaint = 0;
    QByteArray audio;
    QList<QByteArray> metadata;
};

Read readAnswer(const QByteArray &answer, int chunk = 3) {
    Read r;
    IcyConnection connection(IcyConnection::Limits{}, [] { return false; });
    connection.setMetadataHandler([&r](const QByteArray &text) { r.metadata.append(text); });
    r.opened =
        connection.openResponse(answer, QUrl(QStringLiteral("http://127.0.0.1:8000/a/live")), &r.redirect);
    r.failure = connection.failure();
    r.error = connection.errorText();
    r.headers = connection.headerLines();
    r.metaint = connection.metaint();
    if (r.opened) {
        char buffer[16];
        for (qint64 n; (n = connection.readAudio(buffer, chunk)) > 0;)
            r.audio.append(buffer, n);
    }
    return r;
}

TEST(IcyResponse, MetadataBlocksAreCutOutOfTheAudioWhateverTheReadSize) {
    const QByteArray block = QByteArray("\x02StreamTitle='T';").leftJustified(33, '\0');
    const QByteArray answer = QByteArray("ICY 200 OK\r\nicy-name: Radio X\r\nicy-metaint: 4\r\n\r\n") +
                              "abcd" + block + "efgh" + QByteArray(1, '\0') + "ij";
    for (int chunk : {1, 3, 4, 16}) {
        const Read r = readAnswer(answer, chunk);
        ASSERT_TRUE(r.opened) << r.error.toStdString();
        EXPECT_EQ(r.headers, (QList<QByteArray>{"icy-name: Radio X", "icy-metaint: 4"}));
        EXPECT_EQ(r.metaint, 4);
        EXPECT_EQ(r.audio, "abcdefghij") << "chunk " << chunk;
        EXPECT_EQ(r.metadata, QList<QByteArray>{"StreamTitle='T';"}) << "chunk " << chunk;
    }
}

TEST(IcyResponse, RefusedAnswersSayWhyAndRedirectsNameTheirTarget) {
    const Read redirect = readAnswer("HTTP/1.1 302 Found\r\nLocation: ../b.pls\r\n\r\n");
    EXPECT_FALSE(redirect.opened);
    EXPECT_EQ(redirect.failure, IcyConnection::Failure::None);
    EXPECT_EQ(redirect.redirect, QUrl(QStringLiteral("http://127.0.0.1:8000/b.pls")));

    const struct {
        QByteArray answer;
        IcyConnection::Failure failure;
        QString error;
    } refused[] = {
        {"SSH-2.0-OpenSSH\r\n\r\n", IcyConnection::Failure::Protocol,
         QStringLiteral("the server's answer is not HTTP")},
        {"ICY 200 OK\r\nicy-name: cut", IcyConnection::Failure::Closed,
         QStringLiteral("the server closed the connection before its headers ended")},
        {"HTTP/1.0 404 Not Found\r\n\r\n", IcyConnection::Failure::Http,
         QStringLiteral("the server answered 404 Not Found")},
        {"ICY 200 OK\r\nicy-metaint: 0x10\r\n\r\n", IcyConnection::Failure::Protocol,
         QStringLiteral("the server announced an unusable metadata interval (icy-metaint: 0x10)")},
    };
    for (const auto &c : refused) {
        const Read r = readAnswer(c.answer);
        EXPECT_FALSE(r.opened) << c.answer.constData();
        EXPECT_EQ(r.failure, c.failure) << c.answer.constData();
        EXPECT_EQ(r.error, c.error);
    }
}

} // namespace
} // namespace varnelo
