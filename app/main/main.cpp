#include "app/Application.h"
#include "app/MainWindow.h"
#include "app/SingleInstance.h"
#include "common/DataFolder.h"
#include "platform/QtPrompts.h"
#include "platform/SystemShell.h"

int main(int argc, char** argv) {
    using namespace varnelo;
    Application app(argc, argv);
    Application::setApplicationName(QStringLiteral("Varnelo"));
    Application::setQuitOnLastWindowClosed(false);

    SingleInstance instance;
    instance.takeOver();

    QtPrompts prompts;
    SystemShell shell;
    SystemClock clock;
    MainWindow window(prompts, shell, clock, DataFolder::besideExecutable(), Application::arguments().mid(1));
    prompts.setOwner(&window);
    window.createDialogs();
    QObject::connect(&window, &MainWindow::destroyed, &app, &QApplication::quit);
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    QObject::connect(&app, &QApplication::lastWindowClosed, &app, &QApplication::quit);
    window.show();
    const int rc = app.exec();
    instance.release();
    return rc;
}
