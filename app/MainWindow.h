#pragma once
#include "common/AppState.h"
#include "common/DataFolder.h"
#include "common/SettingsFile.h"

#include <QDialog>
#include <QIcon>
#include <QStandardItemModel>
#include <QWidget>
#include <functional>
#include <memory>

class QLabel;
class QMenu;
class QSystemTrayIcon;
class QTimer;
class QTreeView;

namespace varnelo {

class Clock;
class DesktopShell;
class Prompts;
class StationCatalogue;
class StationPanel;

// The main window `fm_main`: owns the program-wide state, the views and the
// subsystems, runs the start-up sequence at its first showing and the
// shutdown sequence when asked to close.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int ClientWidth = 588;
    static constexpr int ClientHeight = 442;

    MainWindow(Prompts& prompts, DesktopShell& shell, Clock& clock, DataFolder folder, QStringList arguments,
               QWidget* parent = nullptr);
    ~MainWindow() override;

    AppState state;
    SettingsFile settings;

    // Views, named as the rest of the program knows them.
    QTreeView* tv;
    QTreeView* LV;
    QTreeView* tv2;
    QTreeView* lv2;
    QTreeView* lv_cd;
    QTreeView* LV_R;
    StationPanel* panel_radio;
    QWidget* panel_state;
    QLabel* lab_state;
    QMenu* p_min;
    QMenu* p_lv;
    QTimer* Timer1;

    StationCatalogue& catalogue() { return *catalogue_; }
    const DataFolder& dataFolder() const { return folder_; }
    QSystemTrayIcon* trayIcon() const { return tray_; }

    // The dialogs created hidden at start, in creation order.
    QDialog* fm_set = nullptr;
    QDialog* fm_setting = nullptr;
    QDialog* fm_dir = nullptr;
    QDialog* fm_id3 = nullptr;
    QDialog* fm_about = nullptr;
    QDialog* fm_associate = nullptr;
    void createDialogs();

    // The one-time start-up sequence (first showing) and the command-line step.
    void RunStartupSequence();
    void RunCommandLineStep();

    // Tray: to the tray and back.
    void ApplicationMinimize();
    void ApplicationRestore();
    QString currentTrayTip() const;

    // Page switches that belong to the shell.
    void ShowRadioPage();
    void ShowLocalPage();

    // Steps owned by later subsystems, hooked in as they are built.
    std::function<void(const QString&)> openCommandLineFile;
    std::function<void()> stopLocalPlayback;
    std::function<void()> stopCdPlayback;

Q_SIGNALS:
    void startupFinished();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildViews();
    void buildMenus();
    void buildTray();
    void Timer1Timer();
    void SaveTrees();

    Prompts& prompts_;
    DesktopShell& shell_;
    Clock& clock_;
    DataFolder folder_;
    QStringList arguments_;
    std::unique_ptr<StationCatalogue> catalogue_;
    QStandardItemModel libraryTree_;  // tv2 until the library is built
    QSystemTrayIcon* tray_ = nullptr;
    QIcon normalIcon_;
    QIcon minimizedIcon_;
    bool closeConfirmed_ = false;
};

} // namespace varnelo
