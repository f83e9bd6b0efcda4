#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Varnelo V1.00"));
    window.resize(588, 442);
    window.show();
    return app.exec();
}
