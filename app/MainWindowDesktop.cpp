#include "app/MainWindow.h"

#include "app/Application.h"
#include "common/SettingsKeys.h"
#include "desktop/AboutBox.h"
#include "desktop/AssociateDialog.h"
#include "desktop/AutoCloser.h"
#include "desktop/DialogPlacement.h"
#include "desktop/FileAssociation.h"
#include "desktop/FolderBrowser.h"
#include "options/OptionsDialog.h"

#include <QCoreApplication>

namespace varnelo {

// Desktop integration: the folder browser, the file association, the about box
// with its auto-closer, and the centring of dialogs over the main window.

void MainWindow::createDesktopDialogs() {
    folderBrowser_ = new FolderBrowser(settings, this);
    folderBrowser_->storedOutputFolder = [this] {
        return keys::read(settings, keys::OutputFolderKey, defaultOutputFolder());
    };
    folderBrowser_->showOutputFolder = [this](const QString &folder) { options_->showOutputFolder(folder); };
    fm_dir = folderBrowser_;

    fm_about = new AboutBox(windowIcon(), this);
    autoCloser_ = new AutoCloser(clock_, this);

    association_ = std::make_unique<FileAssociation>(
        FileAssociation::userPlaces(QCoreApplication::applicationFilePath()), shell_);
    associateDialog_ = new AssociateDialog(settings, *association_, this);
    associateDialog_->reportError = [](const QString &message) { Application::showUnhandled(message); };
    fm_associate = associateDialog_;
}

QString MainWindow::BrowseFolder(const QString &start, FolderPurpose purpose) {
    // A scan is asked for from the window, the output folder from the options.
    const QWidget *owner =
        purpose == FolderPurpose::LibraryScan ? static_cast<const QWidget *>(this) : options_;
    return folderBrowser_->Browse(start, owner, purpose);
}

void MainWindow::ShowCentredDialog(QWidget *dialog) {
    varnelo::ShowCentred(dialog, this);
}

void MainWindow::ShowAbout() {
    // Armed first: the closer takes the first window made after it.
    autoCloser_->Arm(5000, true);
    AboutBox box(windowIcon(), this);
    CentreOver(&box, this);
    box.exec();
}

} // namespace varnelo
