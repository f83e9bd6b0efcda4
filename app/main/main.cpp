#include "app/Application.h"
#include "app/DesktopBinding.h"
#include "app/MainWindow.h"
#include "app/SingleInstance.h"
#include "common/DataFolder.h"
#include "common/ProgramFiles.h"
#include "platform/shell/QtPrompts.h"
#include "platform/shell/SystemShell.h"
#include "platform/sound/FFmpegLog.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <cstdio>

int main(int argc, char **argv) {
    using namespace varnelo;
    QElapsedTimer sinceLaunch;
    sinceLaunch.start();
    Application app(argc, argv);
    Application::setApplicationName(QStringLiteral("Varnelo"));
    Application::setQuitOnLastWindowClosed(false);
    RouteFFmpegLog();
    // The style that draws every control from the palette the skin gives.
    Application::setStyle(QStringLiteral("Fusion"));

    QStringList arguments = Application::arguments().mid(1);
    // For the start-up benchmark: report the time to the end of start-up and quit.
    const bool quitAfterStartup = arguments.removeAll(QStringLiteral("--quit-after-startup")) > 0;

    // A copy already running takes the file (by its full name) and comes to the front; this one ends.
    SingleInstance instance;
    QStringList handed;
    for (const QString &argument : arguments)
        handed << QFileInfo(argument).absoluteFilePath();
    if (!quitAfterStartup) {
        if (instance.handOff(handed))
            return 0;
        instance.listen();
    }

    QtPrompts prompts;
    SystemShell shell;
    SystemClock clock;
    const ProgramFiles files = ProgramFiles::current();
    MainWindow window(prompts, shell, clock, files.dataFolder, arguments);
    window.settingsPath = files.settingsPath;
    if (quitAfterStartup)
        QObject::connect(&window, &MainWindow::startupFinished, &app, [&] {
            std::fprintf(stderr, "startup-ms %lld\n", static_cast<long long>(sinceLaunch.elapsed()));
            QCoreApplication::exit(0);
        });
    prompts.setOwner(&window);
    window.createDialogs();
    // Media controls (MPRIS) and desktop notices on the session bus.
    DesktopBinding desktop(window);
    prompts.setFolderChooser([&window](const QString &start, FolderPurpose purpose) {
        return window.BrowseFolder(start, purpose);
    });
    QObject::connect(&window, &MainWindow::destroyed, &app, &QApplication::quit);
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    QObject::connect(&app, &QApplication::lastWindowClosed, &app, &QApplication::quit);
    QObject::connect(&instance, &SingleInstance::handedOver, &window, &MainWindow::OpenHandedFiles);
    window.show();
    return app.exec();
}
