#pragma once
#include "app/Application.h"
#include "app/MainWindow.h"
#include "library/LibraryCatalogue.h"
#include "library/LocalPlayer.h"
#include "radio/StationCatalogue.h"
#include "radio/StationRecord.h"
#include "radio/StreamPlayer.h"
#include "support/ChildProcess.h"
#include "support/Fakes.h"
#include "support/IcyServer.h"
#include "support/Wait.h"

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

    // Adds a station of `icy` to the station list and selects it.
    void addStation(MainWindow &w, IcyServer &icy) {
        static QTemporaryDir toneDir;
        static const QByteArray tone = makeTone({ToneFormat::Mp3, 440, 4.0}, toneDir.path());
        IcyMount mount;
        mount.audio = tone;
        icy.addMount(QStringLiteral("/station"), mount);
        StationRecord r;
        r.Name = QStringLiteral("Test FM");
        r.StreamUrl = icy.url(QStringLiteral("/station"));
        w.catalogue().appendStationRow(r);
        w.catalogue().selectRow(w.catalogue().LV.rowCount() - 1);
    }
    // Tunes the window in to a station of `icy` as the station list does; true once it plays.
    bool playStation(MainWindow &w, IcyServer &icy) {
        addStation(w, icy);
        w.player().StartStation();
        return waitUntil([&w] { return w.player().stationPlaying() && !w.player().connecting(); }, 20000);
    }
    // Plays a 30 s WAV file of the library list; true once it plays.
    bool playFile(MainWindow &w) {
        LibraryRecord r;
        r.Title = QStringLiteral("Tone");
        r.Path = dir.filePath(QStringLiteral("tone.wav"));
        if (!QFile::exists(r.Path))
            runTool(QStringLiteral("sox"),
                    {QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("44100"),
                     QStringLiteral("-c"), QStringLiteral("2"), r.Path, QStringLiteral("synth"),
                     QStringLiteral("30"), QStringLiteral("sine"), QStringLiteral("440")});
        w.library().appendTrackRow(r);
        w.localPlayer().PlayRow(w.library().rowCount() - 1);
        return w.localPlayer().state() == PlayState::Playing;
    }

    QTemporaryDir dir;
    QString previous;
    QStringList unhandled;
    FakePrompts prompts;
    FakeShell shell;
    FakeClock clock;
};

} // namespace varnelo::test
