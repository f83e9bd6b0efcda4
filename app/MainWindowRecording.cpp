#include "app/MainWindow.h"

#include "app/Application.h"
#include "app/SkinSurface.h"
#include "common/SettingsKeys.h"
#include "common/TextRules.h"
#include "convert/EncoderSetup.h"
#include "library/LocalPlayer.h"
#include "library/TagEditor.h"
#include "options/OptionsDialog.h"
#include "platform/sound/AudioRecord.h"
#include "radio/Recorder.h"
#include "radio/RecordingSources.h"
#include "radio/RecordingsList.h"
#include "radio/StationCatalogue.h"
#include "radio/StationPanel.h"
#include "radio/StreamPlayer.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTreeView>

namespace varnelo {

// Recording: the recorder and its component, the recordings list with its
// popup, the record button and the recording sources of the options dialog.

void MainWindow::bindRecording() {
    AudioRecord1_ = std::make_unique<AudioRecord>(*sound_);
    RecorderHooks hooks;
    hooks.format = [this] { return options_ ? options_->recordFormat() : 0; };
    hooks.naming = [this] { return options_ ? options_->recordNaming() : 0; };
    hooks.outputFolder = [this] { return readOutputFolder(settings); };
    hooks.splitByTitle = [this] { return options_ && options_->splitByTitle(); };
    hooks.asBroadcast = [this] { return options_ && options_->recordAsBroadcast(); };
    hooks.configureEncoder = [this](int kind, AudioFile &file, AudioFile2LameEnc &encoder) {
        // OGG keeps the format the options' OK applied to the recording file.
        if (kind == int(EncoderKind::Ogg) || !options_)
            return extensionForKind(kind);
        EncoderSetup setup(*options_);
        setup.ConfigureEncoder(kind, EncoderTarget{file, encoder});
        return setup.OutputExtension();
    };
    hooks.title = [this] { return panel_radio->Lstatus->text(); };
    hooks.setTitle = [this](const QString &text) { panel_radio->Lstatus->setText(text); };
    hooks.genre = [this] { return panel_radio->egenre->text(); };
    hooks.setGenre = [this](const QString &text) { panel_radio->egenre->setText(text); };
    hooks.setLabtime = [this](const QString &text) { surface_->SetLabtime(text); };
    hooks.showRecordingsList = [this] {
        if (!shown_.recordingsListShown())
            ToggleRecordingsList();
    };
    hooks.stationPlaying = [this] { return player_->stationPlaying(); };
    hooks.streamHandle = [this] { return player_->streamHandle(); };
    hooks.cdPlaying = [this] { return playback_.loaded(MediaKind::CdTrack); };
    hooks.cdTrackName = [this] { return cdTrackName ? cdTrackName() : QString(); };
    hooks.reportError = [](const QString &message) { Application::showUnhandled(message); };
    recorder_ =
        new Recorder(shown_, *AudioRecord1_, *streams_, clock_, shell_, *recordingsList_, hooks, this);
    connect(recorder_, &Recorder::fileFinished, this, [this](const QString &path) {
        if (notifyFinished)
            notifyFinished(FinishedKind::Recording, path, true);
    });
    player_->stopRecordingIfRunning = [this] { return recorder_->StopRecordingIfRunning(); };
    player_->recordingRuns = [this] { return recorder_->recording(); };
    surface_->startRecording = [this] { Application::guarded([this] { RecordWhatPlays(false); }); };
    // The station that plays is the one the schedule records, in this run and the next.
    connect(player_, &Player::stateChanged, this, [this](PlayState now) {
        if (now == PlayState::Playing && player_->address() != keys::read(settings, keys::LastStation)) {
            keys::write(settings, keys::LastStation, player_->address());
            settings.commit();
        }
    });

    // The recordings list: clicks, the popup and its entries.
    RecordingsList &list = *recordingsList_;
    list.playPause = [this] { Application::guarded([this] { localPlayer_->PlayPause(); }); };
    list.stopPlayback = [this] { Application::guarded([this] { localPlayer_->StopPlayback(); }); };
    list.openTagEditor = [this](const QString &path) {
        Application::guarded([this, &path] {
            if (tagEditor_)
                tagEditor_->Open(path);
        });
    };
    list.confirmTrash = [this](const QString &path) {
        return prompts_.message(QStringLiteral("Move \"%1\" to the trash?").arg(text::escapeControls(path)),
                                dialogCaption(), PromptIcon::Question,
                                PromptButtons::YesNo) == PromptAnswer::Yes;
    };
    list.reportError = [](const QString &message) { Application::showUnhandled(message); };
    p_record = new QMenu(this);
    p_record->setObjectName(QStringLiteral("p_record"));
    p_record->addAction(list.fgh1);
    p_record->addAction(list.gh1);
    p_record->addSeparator()->setObjectName(QStringLiteral("N7"));
    p_record->addAction(list.Delfile1);
    p_record->addAction(list.TrashFile1);
    p_record->addSeparator()->setObjectName(QStringLiteral("N2"));
    p_record->addAction(list.Id3Info1);
    connect(LV_R, &QTreeView::clicked, this, [this] { recordingsList_->LV_RClick(); });
    connect(LV_R, &QTreeView::pressed, this, [this] { recordingsList_->LV_RMouseDown(Qt::LeftButton); });
    LV_R->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(LV_R, &QTreeView::customContextMenuRequested, this, [this](const QPoint &pos) {
        if (const QModelIndex index = LV_R->indexAt(pos); index.isValid())
            recordingsList_->selectRow(index.row());
        recordingsList_->LV_RMouseDown(Qt::RightButton);
        p_record->popup(LV_R->viewport()->mapToGlobal(pos));
    });
}

void MainWindow::RecordWhatPlays(bool scheduled) {
    if (recorder_->recording())
        return;
    disconnect(pendingRecord_);
    if (AudioRecord1_->GetDevice() != AudioRecord::ProgramOutputDevice ||
        playback_.state() != PlayState::Stopped) {
        recorder_->StartRecording();
        return;
    }
    const QString last = keys::read(settings, keys::LastStation);
    const bool selected = !scheduled && shown_.radio() && catalogue_->selectedRow() >= 0;
    if (!selected && (!scheduled || last.isEmpty())) {
        const QString why =
            scheduled ? QStringLiteral("The scheduled recording did not start: no station has played yet")
                      : QStringLiteral("Nothing is playing: choose a station to record, or a recording "
                                       "source in the options");
        lab_state->setText(why);
        panel_state->show();
        if (scheduled && notifyFinished)
            notifyFinished(FinishedKind::Recording, why, false);
        return;
    }
    pendingRecord_ = connect(player_, &Player::stateChanged, this, [this](PlayState now) {
        if (now == PlayState::Stopped || now == PlayState::Playing)
            disconnect(pendingRecord_); // a station that failed says why in the strip
        if (now == PlayState::Playing)
            Application::guarded([this] { recorder_->StartRecording(); });
    });
    if (selected)
        player_->StartStation();
    else
        player_->PlayAddress(last);
}

void MainWindow::bindRecordingOptions() {
    options_->setRecordingFile(&recorder_->file());
    sources_ = new RecordingSources(*AudioRecord1_, settings, options_->cb_rd(), options_->cb_rdson(),
                                    options_->tb_rd(), this);
    connect(options_->cb_rd(), &QComboBox::activated, sources_, &RecordingSources::cb_rdChange);
    connect(options_, &OptionsDialog::recordingInputSelected, sources_, &RecordingSources::cb_rdsonChange);
    connect(options_, &OptionsDialog::recordingVolumeChanged, sources_, &RecordingSources::tb_rdChange);
}

void MainWindow::ShowRecordingSources() {
    if (sources_)
        sources_->ShowRecordingSources();
}

} // namespace varnelo
