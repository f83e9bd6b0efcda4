#include "rip/CoverArt.h"

#include "platform/cd/HttpGet.h"
#include "platform/tags/CoverFormats.h"

#include <QTimer>

namespace varnelo {

QUrl CoverArtFetch::defaultServer() {
    return QUrl(QStringLiteral("https://coverartarchive.org/"));
}

QString coverImageProblem(const QByteArray &bytes) {
    if (bytes.isEmpty())
        return QStringLiteral("the answer is empty");
    if (bytes.size() > CoverArtFetch::MaxBytes)
        return QStringLiteral("the image is larger than %1 MB").arg(CoverArtFetch::MaxBytes >> 20);
    if (tagformats::ImageTypeOf(bytes).isEmpty())
        return QStringLiteral("the answer is neither a JPEG nor a PNG image");
    if (tagformats::DescribeImage(bytes, {}).width <= 0)
        return QStringLiteral("the image is damaged: its size cannot be read");
    return {};
}

QString CoverArtFetch::mimeType() const {
    return tagformats::ImageTypeOf(image_);
}

void CoverArtFetch::fetch(const QString &releaseId) {
    done_ = false;
    image_.clear();
    note_.clear();
    QUrl url = server;
    QString path = url.path();
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    url.setPath(path + QStringLiteral("release/%1/front-500").arg(releaseId));
    if (!network_)
        network_ = std::make_unique<QNetworkAccessManager>();
    cd::HttpOptions options;
    options.maxBytes = MaxBytes;
    options.userAgent = "Varnelo/1.0";
    reply_ = cd::httpGet(*network_, url, options, this, [this](const cd::HttpAnswer &a) {
        if (!a.error.isEmpty())
            return end({}, QStringLiteral("the cover could not be fetched: ") + a.error);
        if (a.status == 404)
            return end({}, QStringLiteral("the release has no front cover"));
        if (a.status != 200)
            return end({}, QStringLiteral("the cover server answered HTTP %1").arg(a.status));
        const QString problem = coverImageProblem(a.body);
        if (!problem.isEmpty())
            return end({}, QStringLiteral("no cover: ") + problem);
        end(a.body, {});
    });
}

void CoverArtFetch::abort() {
    if (reply_ && !done_)
        reply_->abort();
}

void CoverArtFetch::end(QByteArray image, QString note) {
    image_ = std::move(image);
    note_ = std::move(note);
    done_ = true;
    Q_EMIT finished();
}

} // namespace varnelo
