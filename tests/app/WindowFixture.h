#pragma once
#include "app/Application.h"
#include "app/MainWindow.h"
#include "support/Fakes.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace varnelo::test {

// A main window in a temporary working folder (temp.ini is opened relative to
// it) with its data folder "record/" inside, scripted dialogs and shell, and
// the unhandled-error dialog recorded instead of shown.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous = QDir::currentPath();
        QDir::setCurrent(dir.path());
        Application::setUnhandledSink([this](const QString &m) { unhandled << m; });
    }
    void TearDown() override {
        Application::setUnhandledSink(nullptr);
        QDir::setCurrent(previous);
    }
    QString data(const QString &name) const { return dir.filePath(QStringLiteral("record/") + name); }

    // Creates the window on a silent output, shows it and waits for the end of start-up.
    std::unique_ptr<MainWindow> startWindow(const QStringList &arguments = {}) {
        auto w = std::make_unique<MainWindow>(prompts, shell, clock,
                                              DataFolder(dir.filePath(QStringLiteral("record"))), arguments,
                                              SoundOutput::create(SoundOutput::Backend::Null));
        w->createDialogs();
        QSignalSpy done(w.get(), &MainWindow::startupFinished);
        w->show();
        EXPECT_TRUE(done.wait(5000));
        return w;
    }

    QTemporaryDir dir;
    QString previous;
    QStringList unhandled;
    FakePrompts prompts;
    FakeShell shell;
    FakeClock clock;
};

} // namespace varnelo::test
