#pragma once
#include <QApplication>
#include <functional>

namespace varnelo {

// Any error that no handler caught is shown in the "Information" dialog with
// its own text, and the program goes on.
class Application : public QApplication {
public:
    Application(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;

    // Shows an error in the unhandled-error dialog (the program's one place for it).
    static void showUnhandled(const QString &message);
    // Runs `f`, sending what it throws to the unhandled-error dialog.
    static void guarded(const std::function<void()> &f);
    // Tests replace the dialog with a recorder.
    static void setUnhandledSink(std::function<void(const QString &)> sink);
};

} // namespace varnelo
