#include "radio/StationInfoWindow.h"

#include "common/TextRules.h"

#include <QHBoxLayout>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace varnelo {
namespace {
// A streaming server answers an audio stream on the same address; stop reading
// when the answer is not a page.
constexpr qint64 MaxPageBytes = 2 * 1024 * 1024;
} // namespace

StationInfoWindow::StationInfoWindow(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("fm_set"));
    setWindowTitle(QString());
    resize(668, 466);
    WebBrowser1 = new QTextBrowser(this);
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    WebBrowser1->setOpenLinks(false);
    connect(WebBrowser1, &QTextBrowser::anchorClicked, this,
            [this](const QUrl &url) { Navigate(current_.resolved(url).toString()); });
    Button2 = new QPushButton(QStringLiteral("Home"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button3 = new QPushButton(QStringLiteral("Station Info"), this);
    Button3->setObjectName(QStringLiteral("Button3"));
    Button1 = new QPushButton(QStringLiteral("Close"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    auto *strip = new QHBoxLayout;
    strip->addStretch();
    strip->addWidget(Button2);
    strip->addWidget(Button3);
    strip->addWidget(Button1);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(WebBrowser1, 1);
    layout->addLayout(strip);

    network_ = new QNetworkAccessManager(this);
    network_->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    connect(network_, &QNetworkAccessManager::finished, this, &StationInfoWindow::finished);
    connect(Button1, &QPushButton::clicked, this, &QDialog::close);
    connect(Button3, &QPushButton::clicked, this, [this] {
        if (stationAddress)
            Navigate(stationAddress());
    });
    connect(Button2, &QPushButton::clicked, this, [this] {
        const QString home = homeAddress ? text::trimControl(homeAddress()) : QString();
        if (!home.isEmpty()) {
            Navigate(home);
            return;
        }
        WebBrowser1->setHtml(QStringLiteral("<h3>This station has no home page</h3>"
                                            "<p>Its entry names no home address.</p>"));
        Q_EMIT pageLoaded(false);
    });
}

void StationInfoWindow::Navigate(const QString &address) {
    QUrl url = QUrl::fromUserInput(text::trimControl(address));
    if (pending_) {
        pending_->abort();
        pending_ = nullptr;
    }
    current_ = url;
    if (!url.isValid() || (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https"))) {
        WebBrowser1->setHtml(
            QStringLiteral("<h3>Cannot open this address</h3><p>%1</p>").arg(address.toHtmlEscaped()));
        Q_EMIT pageLoaded(false);
        return;
    }
    WebBrowser1->setHtml(QStringLiteral("<p>Loading %1 …</p>").arg(url.toString().toHtmlEscaped()));
    QNetworkRequest request(url);
    request.setTransferTimeout(15000);
    pending_ = network_->get(request);
    QNetworkReply *reply = pending_;
    connect(reply, &QNetworkReply::readyRead, this, [reply] {
        const QString type = reply->header(QNetworkRequest::ContentTypeHeader).toString();
        if (type.startsWith(QLatin1String("audio/")) || reply->bytesAvailable() > MaxPageBytes)
            reply->abort();
    });
}

void StationInfoWindow::finished(QNetworkReply *reply) {
    reply->deleteLater();
    if (reply != pending_)
        return;
    pending_ = nullptr;
    const QString type = reply->header(QNetworkRequest::ContentTypeHeader).toString();
    if (type.startsWith(QLatin1String("audio/"))) {
        WebBrowser1->setHtml(QStringLiteral("<h3>%1</h3><p>This address is an audio stream, not a page.</p>")
                                 .arg(current_.toString().toHtmlEscaped()));
        Q_EMIT pageLoaded(false);
        return;
    }
    if (reply->error() != QNetworkReply::NoError) {
        WebBrowser1->setHtml(
            QStringLiteral("<h3>The page could not be loaded</h3><p>%1</p><p>%2</p>")
                .arg(current_.toString().toHtmlEscaped(), reply->errorString().toHtmlEscaped()));
        Q_EMIT pageLoaded(false);
        return;
    }
    current_ = reply->url();
    const QByteArray body = reply->read(MaxPageBytes);
    WebBrowser1->setSearchPaths({});
    if (type.contains(QLatin1String("html")) || body.trimmed().startsWith('<'))
        WebBrowser1->setHtml(text::decode8Bit(body));
    else
        WebBrowser1->setPlainText(text::decode8Bit(body));
    Q_EMIT pageLoaded(true);
}

} // namespace varnelo
