#pragma once
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

namespace varnelo {

// The add-station panel `panel_radio`: an address to open, the station's name,
// genre and home address (filled from the server's headers while connecting),
// the status text, and Audition / Add radio / Close.
class StationPanel : public QWidget {
    Q_OBJECT
public:
    explicit StationPanel(QWidget *parent = nullptr);

    QLabel *Label1;
    QLabel *Label2;
    QLineEdit *url;
    QLabel *Lname;
    QLineEdit *ename;
    QLabel *Lgenre;
    QLineEdit *egenre;
    QLabel *Lurl;
    QLineEdit *eurl;
    QLabel *Lstatus;
    QPushButton *Button13; // Audition
    QPushButton *Button14; // Add radio
    QPushButton *Button15; // Close
};

} // namespace varnelo
