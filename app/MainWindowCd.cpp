#include "app/MainWindow.h"

#include "app/Application.h"
#include "app/PlayingRowDelegate.h"
#include "app/SkinLook.h"
#include "app/SkinSurface.h"
#include "common/SettingsKeys.h"
#include "convert/EncoderSetup.h"
#include "library/TagEditor.h"
#include "options/OptionsDialog.h"
#include "platform/audiofile/AudioFile2LameEnc.h"
#include "platform/cd/AccurateRipLookup.h"
#include "platform/cd/AudioCDGrabber.h"
#include "platform/cd/DriveOffsets.h"
#include "platform/cd/FreeDBInformation.h"
#include "platform/sound/AudioPlayer.h"
#include "radio/Recorder.h"
#include "radio/StreamPlayer.h"
#include "rip/CdPlayer.h"
#include "rip/CdRipper.h"
#include "rip/CdSettings.h"
#include "rip/ReadOffsetTasks.h"
#include "rip/RipperPanel.h"

#include <QComboBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QTreeView>

namespace varnelo {

// The rip page: the CD grabber and the album information component, the
// ripper over lv_cd with its panel and menu, CD playback and the options'
// drive list.

void MainWindow::bindCd() {
    AudioCDGrabber_ = std::make_unique<cd::AudioCDGrabber>();
    FreeDBInformation_ = std::make_unique<cd::FreeDBInformation>();
    AudioFile2LameEncd_ = std::make_unique<AudioFile2LameEnc>();
    AudioPlayercd_ = std::make_unique<AudioPlayer>(*sound_);

    ripper_ = new CdRipper(shown_, *AudioCDGrabber_, *FreeDBInformation_, *AudioFile2LameEncd_,
                           *encoderSetup_, *options_, tagEditor_->AudioInformation1, prompts_, shell_, this);
    CdRipper &rip = *ripper_;
    cdPlayer_ = new CdPlayer(*AudioCDGrabber_, *AudioPlayercd_, rip, this);
    CdPlayer &player = *cdPlayer_;
    playback_.add(player);
    rip.playback = &playback_;
    Panel_ripper_ = new RipperPanel(rip, this);
    placeViews();

    // A recording made while the rip page shows is named after the CD's row.
    cdTrackName = [this] { return ripper_->CurrentTrackName(); };
    connect(ripper_, &CdRipper::ripFinished, this, [this] {
        if (notifyFinished)
            notifyFinished(FinishedKind::Rip, readOutputFolder(settings), true);
    });
    rip.outputFolder = [this] { return readOutputFolder(settings); };
    rip.openFolderWhenDone = [this] { return options_->openFolderWhenDone(); };
    rip.folderNaming = [this] { return options_->ripFolderNaming(); };
    rip.lookupSettings = [this] { return ReadLookupSettings(settings, folder_.path()); };
    rip.readOffset = [this] { return keys::read(settings, keys::ReadOffsetKey); };
    rip.stopCdPlayback = [this] { cdPlayer_->StopCdPlayback(); };
    rip.setListEnabled = [this](bool on) { lv_cd->setEnabled(on); };
    rip.showState = [this](const QString &text) {
        lab_state->setText(text);
        panel_state->show();
        panel_state->raise();
    };
    rip.hideState = [this] { panel_state->hide(); };
    rip.fillDriveList = [this](const QStringList &lines, int select) {
        QComboBox *combo = options_->driveCombo();
        combo->clear();
        combo->addItems(lines);
        if (!lines.isEmpty())
            combo->setCurrentIndex(std::clamp(select, 0, int(lines.size()) - 1));
    };
    rip.enableDriveList = [this](bool on) { options_->driveCombo()->setEnabled(on); };
    // The disc image chosen last is a drive again.
    rip.rememberedImage = [this] { return keys::read(settings, keys::DiscImagePath, QString()); };
    rip.rememberImage = [this](const QString &path) {
        keys::write(settings, keys::DiscImagePath, path);
        settings.commit();
    };
    // The options' offset buttons work on the drive chosen there.
    auto *offsetTasks = new ReadOffsetTasks(this);
    options_->findReadOffset = [this, offsetTasks](OptionsDialog::OffsetReply reply) {
        offsetTasks->find(AudioCDGrabber_->DriveId(), ReadGrabSettings(*options_),
                          cd::AccurateRipLookup::defaultServer(), std::move(reply));
    };
    options_->lookUpReadOffset = [this, offsetTasks](OptionsDialog::OffsetReply reply) {
        if (AudioCDGrabber_->DriveIsImage()) {
            reply(std::nullopt, QStringLiteral("A disc image has no read offset: choose a drive."));
            return;
        }
        folder_.create();
        offsetTasks->lookUp(AudioCDGrabber_->DriveVendor(), AudioCDGrabber_->DriveProduct(),
                            folder_.file(QString::fromLatin1(cd::DriveOffsetsFileName)),
                            cd::AccurateRipLookup::defaultServer(), std::move(reply));
    };
    options_->offsetHooksChanged();
    connect(options_, &OptionsDialog::discImageRequested, this,
            [this] { Application::guarded([this] { ripper_->ChooseDiscImage(); }); });
    connect(options_, &OptionsDialog::driveSelected, this, [this](int drive) {
        Application::guarded([this, drive] {
            AudioCDGrabber_->SelectDrive(drive);
            if (shown_.rip() && !ripping() && !AudioCDGrabber_->Busy()) {
                cdPlayer_->StopCdPlayback();
                ripper_->ListDiscTracks();
            }
        });
    });

    player.setLabtime = [this](const QString &text) { surface_->SetLabtime(text); };
    player.setBar = [this](int value) { surface_->SetBar(value); };
    player.reportError = [](const QString &message) { Application::showUnhandled(message); };
    player.recordingRuns = [this] { return recorder_->recording(); };
    player.setOutputVolume = [this](int percent) { player_->setVolume(percent); };

    lv_cd->setModel(&rip.lv_cd);
    lv_cd->setSelectionModel(&rip.lv_cdSelection);
    // Columns grow to their texts (the number beside its check box, long
    // titles, the AccurateRip verdicts), never narrower than these; long titles
    // give way so that the time and the status, which a rip fills in, stay in sight.
    FitColumnsToContents(lv_cd, {40, 130, 80, 80, 56, 60}, true);
    lv_cd->setItemDelegate(new PlayingRowDelegate([this] { return cdPlayer_->highlightedRow(); }, lv_cd));
    connect(cdPlayer_, &CdPlayer::highlightChanged, lv_cd->viewport(),
            [this] { lv_cd->viewport()->update(); });
    connect(lv_cd, &QTreeView::doubleClicked, this,
            [this] { Application::guarded([this] { cdPlayer_->PlayCdTrack(); }); });

    p_lvcd->addAction(player.Play3);
    p_lvcd->addAction(player.Stop3);
    p_lvcd->addSeparator();
    auto *Ripper1 = p_lvcd->addMenu(QStringLiteral("Ripper"));
    Ripper1->setObjectName(QStringLiteral("Ripper1"));
    for (QAction *a : {rip.oMP3c, rip.owavc, rip.oWMAc, rip.oOGGc, rip.oFLACc})
        Ripper1->addAction(a);
    p_lvcd->addSeparator();
    p_lvcd->addAction(rip.Refrsh1);
    p_lvcd->addAction(rip.FreeDB1);
    p_lvcd->addSeparator();
    p_lvcd->addAction(rip.Eject1);
    p_lvcd->addAction(rip.CloseDriveTray1);
    lv_cd->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lv_cd, &QTreeView::customContextMenuRequested, this, [this](const QPoint &pos) {
        const QModelIndex index = lv_cd->indexAt(pos);
        if (index.isValid())
            ripper_->selectRow(index.row());
        p_lvcd->popup(lv_cd->viewport()->mapToGlobal(pos));
    });

    const auto guarded = [](auto f) { return [f] { Application::guarded(f); }; };
    surface_->openCdDrive = guarded([this] { ripper_->OpenCdDrive(); });
    surface_->cdSeek = [this](int x) { Application::guarded([this, x] { cdPlayer_->SeekCdTrack(x); }); };
    surface_->cdRowSelected = [this] { return ripper_->selectedRow() >= 0; };
}

} // namespace varnelo
