#pragma once
#include <QDialog>
#include <QUrl>
#include <functional>

class QNetworkAccessManager;
class QNetworkReply;
class QPushButton;
class QTextBrowser;

namespace varnelo {

// The station-information window `fm_set`: shows the page a station's server
// (or its home address) answers with, in a text browser fed over HTTP.
class StationInfoWindow : public QDialog {
    Q_OBJECT
public:
    explicit StationInfoWindow(QWidget *parent = nullptr);

    // Where "Station Info" and "Home" go: read when the button is pressed.
    std::function<QString()> stationAddress;
    std::function<QString()> homeAddress;

    void Navigate(const QString &address);
    QUrl currentUrl() const { return current_; }

    QTextBrowser *WebBrowser1;
    QPushButton *Button2; // Home
    QPushButton *Button3; // Station Info
    QPushButton *Button1; // Close

Q_SIGNALS:
    void pageLoaded(bool ok);

private:
    void finished(QNetworkReply *reply);

    QNetworkAccessManager *network_;
    QNetworkReply *pending_ = nullptr;
    QUrl current_;
};

} // namespace varnelo
