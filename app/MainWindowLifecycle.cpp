#include "app/MainWindow.h"

#include "app/Application.h"
#include "app/SkinSurface.h"
#include "common/Error.h"
#include "common/Seams.h"
#include "common/SettingsKeys.h"
#include "common/TreeText.h"
#include "library/LibraryCatalogue.h"
#include "library/LibraryEntries.h"
#include "library/LibraryRecord.h"
#include "library/LocalPlayer.h"
#include "options/OptionsDialog.h"
#include "platform/audiofile/AudioFile.h"
#include "platform/stream/StreamLibrary.h"
#include "radio/DataFiles.h"
#include "radio/Recorder.h"
#include "radio/RecordingsList.h"
#include "radio/StationCatalogue.h"
#include "radio/StationPanel.h"
#include "radio/StationRecord.h"
#include "radio/StreamPlayer.h"
#include "rip/CdPlayer.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QTreeView>

namespace varnelo {

// The start-up sequence at the first showing, the command-line step and the
// shutdown sequence.

void MainWindow::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    // Let the window appear first, as the first showing does.
    QTimer::singleShot(0, this, [this] {
        Application::guarded([this] {
            if (!startupDone_)
                RunStartupSequence();
            else
                RunCommandLineStep();
        });
        Q_EMIT startupFinished();
    });
}

void MainWindow::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    if (!skin)
        return;
    skin->setGeometry(rect());
    placeViews();
}

void MainWindow::RunStartupSequence() {
    settings.setFailureHandler([this](const QString &message) {
        prompts_.message(message, QStringLiteral("Settings"), PromptIcon::Warning, PromptButtons::Ok);
    });
    if (!settings.open(settingsPath)) {
        // Said once: the file is kept for its owner and the defaults are used.
        const QString kept =
            settings.setAsideDamaged()
                ? QStringLiteral("It was kept as %1; the settings start from their defaults.")
                      .arg(QDir::toNativeSeparators(settings.damagedPath()))
                : settings.lastError() + QStringLiteral(" The settings will not be saved.");
        prompts_.message(settings.problem() + QLatin1Char(' ') + kept, QStringLiteral("Settings"),
                         PromptIcon::Warning, PromptButtons::Ok);
    }
    folder_.create();
    surface_->HookUp();

    // Data files, in order; an existing tree file is loaded, a missing one is
    // created empty and the built-in tree kept.
    const bool hadLibraryTree = QFile::exists(folder_.file(QStringLiteral("tt.txt")));
    const bool hadCatalogueTree = QFile::exists(folder_.file(QStringLiteral("treetext.txt")));
    CreateMissingDataFiles(folder_);
    if (hadLibraryTree) {
        try {
            library_->LoadLibraryTree(library_->treePath());
        } catch (const Error &e) {
            Application::showUnhandled(e.message());
        }
    }
    if (hadCatalogueTree) {
        try {
            catalogue_->LoadCatalogueTree(catalogue_->treePath());
        } catch (const Error &e) {
            Application::showUnhandled(e.message());
        }
    }
    // A record file whose end is not a whole record is kept aside before any
    // rewrite could drop that end; said once, here.
    Application::guarded([this] {
        QStringList notes;
        for (const char *name : {"radio.dat", "history.dat", "favorites.dat"})
            notes << stationFile(folder_.file(QLatin1String(name))).keepDamagedTail();
        for (const char *name : {"music.dat", "tp.dat", "fav.dat"})
            notes << libraryFile(folder_.file(QLatin1String(name))).keepDamagedTail();
        notes.removeAll(QString());
        if (!notes.isEmpty())
            Application::showUnhandled(notes.join(QLatin1Char('\n')));
    });

    player_->setVolume(keys::read(settings, keys::Volume));
    // As large as it was left, within the screen and never below the skin's size.
    QSize size(keys::read(settings, keys::WindowWidth), keys::read(settings, keys::WindowHeight));
    if (const QScreen *screen = this->screen())
        size = size.boundedTo(screen->availableGeometry().size());
    resize(size.expandedTo(minimumSize()));
    ShowRadioPage();
    AudioFile_->SetFormatOption(-1);
    AudioFilew_->SetFormatOption(-1);
    if (options_)
        options_->LoadOptions();

    QStandardItem *stations = tree::FindNodeByText(catalogue_->tv, QStringLiteral("Radio Stations"));
    if (!stations)
        return; // runs again at the next showing
    tv->setFocus();
    catalogue_->selectNode(stations);
    catalogue_->ShowCatalogueNode();
    startupDone_ = true;
    ShowRecordingSources();
    recordingsList_->ListEarlierRecordings(readOutputFolder(settings));
    if (options_)
        options_->LoadShutdownOptions();
    if (sound_->fellBack()) {
        // Said once: the program plays on a silent output.
        lab_state->setText(QStringLiteral("No sound device could be opened: playing silently"));
        panel_state->show();
        const QString notice = lab_state->text();
        QTimer::singleShot(8000, panel_state, [this, notice] {
            if (lab_state->text() == notice) // the strip may since show what plays
                panel_state->hide();
        });
    }
    RunCommandLineStep();
}

void MainWindow::RunCommandLineStep() {
    if (arguments_.isEmpty())
        return;
    if (openCommandLineFile)
        openCommandLineFile(arguments_.first());
    entries_->keepListFromCommandLine();
    panel_radio->hide();
    if (cdPlayer_)
        cdPlayer_->StopCdPlayback();
    catalogue_->SaveCatalogueTree();
    ShowLocalPage();
}

void MainWindow::OpenHandedFiles(const QStringList &files) {
    if (!files.isEmpty() && startupDone_) {
        arguments_ = files;
        Application::guarded([this] { RunCommandLineStep(); });
    }
    if (isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
}

void MainWindow::SaveTrees() {
    library_->SaveLibraryTree();
    catalogue_->SaveCatalogueTree();
}

void MainWindow::closeEvent(QCloseEvent *event) {
    if (closeConfirmed_) {
        event->accept();
        return;
    }
    Application::guarded([this] { SaveTrees(); });
    writeWindowSize();
    storeVolume();
    localPlayer_->StopPlayback();
    const PromptAnswer answer =
        prompts_.message(QStringLiteral("Close it now?"), QStringLiteral("Are you sure?"),
                         PromptIcon::Question, PromptButtons::YesNo);
    if (answer != PromptAnswer::Yes) {
        event->ignore();
        return;
    }
    closeConfirmed_ = true;
    // A recording that runs ends with a complete, tagged file.
    recorder_->StopRecordingIfRunning();
    streams_->StreamFree(player_->streamHandle());
    tray_->hide();
    event->accept();
}

} // namespace varnelo
