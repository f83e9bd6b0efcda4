#include "app/SingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTimer>

#include <unistd.h>

namespace varnelo {

namespace {

// The message: "varnelo-open 1\n", one line per file (its name in base64, so
// any byte a name may hold travels), then "end\n"; the answer is "ok\n".
constexpr char Greeting[] = "varnelo-open 1\n";
constexpr char End[] = "end\n";
constexpr char Answer[] = "ok\n";

// Every waiting loop here is bounded: a client that says nothing is dropped.
constexpr int ClientPatienceMs = 3000;

} // namespace

SingleInstance::SingleInstance(QString socketPath, QObject *parent)
    : QObject(parent), path_(std::move(socketPath)) {
    if (path_.isEmpty()) {
        QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
        if (folder.isEmpty())
            folder = QDir::tempPath() + QStringLiteral("/varnelo-%1").arg(::getuid());
        QDir().mkpath(folder);
        path_ = folder + QStringLiteral("/varnelo.socket");
    }
}

SingleInstance::~SingleInstance() {
    if (server_)
        server_->close(); // removes the socket file
}

bool SingleInstance::handOff(const QStringList &files, int timeoutMs) const {
    QLocalSocket socket;
    socket.connectToServer(path_);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    QByteArray message(Greeting);
    for (const QString &file : files)
        message += file.toUtf8().toBase64() + '\n';
    message += End;
    socket.write(message);
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    QByteArray answer;
    while (!answer.contains('\n') && answer.size() < 16) {
        if (!socket.waitForReadyRead(timeoutMs))
            return false;
        answer += socket.readAll();
    }
    return answer == Answer;
}

bool SingleInstance::listen() {
    if (server_)
        return server_->isListening();
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    // Nobody answered at this path (handOff is asked first): a socket file
    // left by a copy that crashed is in the way, not a copy that runs.
    QLocalServer::removeServer(path_);
    if (!server_->listen(path_))
        return false;
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *client = server_->nextPendingConnection()) {
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            connect(client, &QLocalSocket::readyRead, this, [this, client] { readClient(client); });
            QTimer::singleShot(ClientPatienceMs, client, [client] { client->abort(); });
        }
    });
    return true;
}

void SingleInstance::readClient(QLocalSocket *client) {
    if (client->bytesAvailable() > MessageLimit) {
        client->abort();
        return;
    }
    // The message stays in the socket until it is whole.
    const QByteArray message = client->peek(client->bytesAvailable());
    if (!message.endsWith(End))
        return;
    client->readAll();
    QList<QByteArray> lines = message.split('\n');
    lines.removeLast(); // after the last newline
    if (lines.size() < 2 || lines.first() + '\n' != Greeting || lines.last() + '\n' != End) {
        client->abort();
        return;
    }
    QStringList files;
    for (qsizetype i = 1; i + 1 < lines.size(); ++i) {
        const auto name = QByteArray::fromBase64Encoding(lines[i], QByteArray::AbortOnBase64DecodingErrors);
        if (!name || name.decoded.isEmpty()) {
            client->abort();
            return;
        }
        files << QString::fromUtf8(name.decoded);
    }
    client->write(Answer);
    client->flush();
    client->disconnectFromServer();
    Q_EMIT handedOver(files);
}

} // namespace varnelo
