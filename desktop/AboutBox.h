#pragma once
#include <QDialog>
#include <QIcon>

namespace varnelo {

// The about box: a borderless 289 by 151 window with the program's icon, name
// and version over a thin sky-blue line, closed by a click anywhere. It has no
// frame to show its title in, so it shows the title itself (the auto-closer
// counts down there).
class AboutBox : public QDialog {
    Q_OBJECT
public:
    static constexpr int Width = 289;
    static constexpr int Height = 151;
    static QColor lineColour() { return QColor(166, 202, 240); }

    explicit AboutBox(const QIcon &icon, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QIcon icon_;
};

} // namespace varnelo
