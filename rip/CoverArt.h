#pragma once
#include <QByteArray>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <memory>

namespace varnelo {

// The front cover of a MusicBrainz release from the Cover Art Archive (or a
// server that answers as it does): <server>release/<id>/front-500. A release
// without a cover, a server that cannot be reached or an answer that is no
// image ends with a note and no image; none of them is an error of the rip.
class CoverArtFetch : public QObject {
    Q_OBJECT
public:
    static QUrl defaultServer();
    // Larger answers are refused unread: a 500-pixel cover is far smaller.
    static constexpr qint64 MaxBytes = 4 << 20;

    QUrl server = defaultServer();
    void fetch(const QString &releaseId);
    // Ends a fetch under way at once (a stopped rip does not wait for it).
    void abort();
    bool done() const { return done_; }
    const QByteArray &image() const { return image_; }
    QString mimeType() const;                     // "image/jpeg" or "image/png"; empty without an image
    const QString &note() const { return note_; } // why there is no image

Q_SIGNALS:
    void finished();

private:
    void end(QByteArray image, QString note);

    std::unique_ptr<QNetworkAccessManager> network_;
    QPointer<QNetworkReply> reply_;
    bool done_ = false;
    QByteArray image_;
    QString note_;
};

// Empty when the bytes are a JPEG or PNG within the size cap; else why not.
QString coverImageProblem(const QByteArray &bytes);

} // namespace varnelo
