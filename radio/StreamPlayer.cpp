#include "radio/StreamPlayer.h"

#include "common/AppState.h"
#include "common/Seams.h"
#include "common/TextRules.h"
#include "platform/stream/StreamLibrary.h"
#include "radio/StationCatalogue.h"
#include "radio/StationConnector.h"
#include "radio/StationPanel.h"
#include "radio/StreamTitle.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace varnelo {

StreamPlayer::StreamPlayer(AppState &state, StationCatalogue &catalogue, StreamLibrary &library,
                           Prompts &prompts, DesktopShell &shell, Clock &clock, StreamPlayerViews views,
                           QObject *parent)
    : QObject(parent), state_(state), catalogue_(catalogue), library_(library), prompts_(prompts),
      shell_(shell), clock_(clock), views_(std::move(views)),
      connector_(new StationConnector(library, shell, this)) {
    StationPanel *panel = views_.panel;
    // What servers send is shown, never interpreted (no markup, no control characters).
    panel->Lstatus->setTextFormat(Qt::PlainText);
    views_.lab_state->setTextFormat(Qt::PlainText);
    connect(connector_, &StationConnector::connecting, this, [this, panel] {
        title_.clear();
        setStatus(QStringLiteral("connecting..."));
        panel->eurl->clear();
        panel->egenre->clear();
        panel->ename->clear();
    });
    connect(connector_, &StationConnector::streamCreated, this,
            [this](std::uint32_t handle) { state_.StreamHandle = handle; });
    connect(connector_, &StationConnector::headers, this,
            [panel](const QString &name, const QString &genre, const QString &url) {
                panel->ename->setText(name);
                panel->egenre->setText(genre);
                panel->eurl->setText(url);
            });
    connect(connector_, &StationConnector::title, this, [this](std::uint32_t handle, const QString &title) {
        if (handle != state_.StreamHandle) // a title of a stream that was replaced is dropped
            return;
        title_ = title;
        setStatus(title);
        Q_EMIT nowPlayingChanged();
    });
    connect(connector_, &StationConnector::playing, this, [this](std::uint32_t) {
        state_.StationPlaying = true;
        if (views_.redrawList)
            views_.redrawList();
        views_.panel->Lstatus->setText(text::escapeControls(title_)); // a first title may come before this
        catalogue_.audioInfo->setEnabled(true);
        state_.PlayStart = clock_.now();
        state_.PlayedBeforeMs = 0;
        showNowPlaying();
        Q_EMIT nowPlayingChanged();
    });
    const auto toIdle = [this] {
        state_.StationPlaying = false;
        if (views_.setLabtime)
            views_.setLabtime(QStringLiteral("00:00:00"));
        views_.panel_state->hide();
    };
    connect(connector_, &StationConnector::failed, this,
            [this, toIdle](bool reachable, int code, const QString &reason) {
                if (!reachable)
                    prompts_.message(QStringLiteral("Please check network connection is reachable."),
                                     QStringLiteral("friendly reminds"), PromptIcon::Information,
                                     PromptButtons::Ok);
                setStatus(StreamFailureText(code, reason));
                toIdle();
            });
    // Stop while connecting: the attempt ends without a failure to report.
    connect(connector_, &StationConnector::cancelled, this, [this, toIdle] {
        setStatus(QString());
        toIdle();
    });
    connect(connector_, &StationConnector::streamStatus, this,
            [this](std::uint32_t handle, bool gaveUp, const QString &text) {
                if (handle != state_.StreamHandle || !state_.StationPlaying)
                    return;
                if (!gaveUp) {
                    setStatus(text);
                    return;
                }
                // The stream dropped and could not be reached again.
                setStatus(failureText());
                state_.StationPlaying = false;
                state_.StationPaused = false;
                if (views_.setLabtime)
                    views_.setLabtime(QStringLiteral("00:00:00"));
                catalogue_.audioInfo->setEnabled(false);
                if (views_.redrawList)
                    views_.redrawList();
                Q_EMIT nowPlayingChanged();
            });
    connect(connector_, &StationConnector::finished, this, [this] {
        state_.ConnectWorker = false;
        Q_EMIT connectFinished();
    });
}

StreamPlayer::~StreamPlayer() {
    connector_->cancel();
    connector_->wait();
}

void StreamPlayer::setStatus(const QString &text) {
    const QString shown = text::escapeControls(text);
    views_.panel->Lstatus->setText(shown);
    views_.lab_state->setText(shown);
}

QString StreamPlayer::CurrentTitle() const {
    return state_.StationPlaying ? title_ : QString();
}

void StreamPlayer::showNowPlaying() {
    // The state strip stays where the user looks while a station plays: its
    // title, or its name until the first title comes.
    QString text = title_;
    if (text.isEmpty())
        text = text::trimControl(views_.panel->ename->text());
    if (text.isEmpty() && state_.CurrentRow >= 0 && state_.CurrentRow < catalogue_.LV.rowCount())
        text = catalogue_.stationRow(state_.CurrentRow).Name;
    views_.lab_state->setText(text::escapeControls(text));
    views_.panel_state->show();
}

void StreamPlayer::startWorker(const QString &address) {
    if (state_.ConnectWorker) {
        shell_.beep();
        return;
    }
    state_.ConnectWorker = true;
    connector_->start(address, state_.StreamHandle);
    if (connectStarted)
        connectStarted(address);
}

void StreamPlayer::StartStation() {
    views_.panel_state->show();
    views_.panel->hide();
    if (catalogue_.LV.rowCount() == 0)
        return;
    const int row = catalogue_.selectedRow();
    if (row < 0)
        return;
    state_.CurrentRow = row;
    if (views_.redrawList)
        views_.redrawList();
    const QString address = catalogue_.stationRow(row).StreamUrl;
    startWorker(address);
    views_.panel->url->setText(address);
}

void StreamPlayer::LVDblClick() {
    // An error in either step ends the double-click; like every other entry
    // point it reaches the user (an error in the first means no station starts).
    if (state_.LocalPlaying && stopLocalPlayback)
        stopLocalPlayback();
    if (catalogue_.selectedRow() < 0)
        return;
    // The station that played until now goes to the history; with none
    // playing, the panel holds nothing worth keeping.
    if (state_.StationPlaying)
        catalogue_.AddToHistory();
    StartStation();
}

void StreamPlayer::PlayPauseStation() {
    views_.panel->hide();
    if (state_.LocalPlaying && stopLocalPlayback)
        stopLocalPlayback();
    if (catalogue_.LV.rowCount() == 0)
        return;
    if (catalogue_.selectedRow() < 0) {
        const bool current =
            state_.StationPlaying && state_.CurrentRow >= 0 && state_.CurrentRow < catalogue_.LV.rowCount();
        catalogue_.selectRow(current ? state_.CurrentRow : 0);
    }
    state_.CurrentRow = catalogue_.selectedRow();
    if (state_.StationPlaying) {
        if (state_.StationPaused) {
            state_.StationPaused = false;
            library_.ChannelPlay(state_.StreamHandle);
            state_.PlayStart = clock_.now();
        } else {
            state_.StationPaused = true;
            library_.ChannelPause(state_.StreamHandle);
            state_.PlayedBeforeMs += state_.PlayStart.msecsTo(clock_.now());
        }
        return;
    }
    views_.panel_state->show();
    const QString address = catalogue_.stationRow(state_.CurrentRow).StreamUrl;
    startWorker(address);
    views_.panel->url->setText(address);
}

void StreamPlayer::StopRadioOrRecording() {
    if (stopRecordingIfRunning && stopRecordingIfRunning())
        return;
    if (state_.ConnectWorker)
        connector_->cancel(); // ends the connect within a second; it reports cancelled()
    if (!state_.StationPlaying)
        return;
    state_.StationPlaying = false;
    state_.StationPaused = false;
    library_.ChannelStop(state_.StreamHandle);
    views_.panel->Lstatus->clear();
    views_.panel->eurl->clear();
    views_.panel->egenre->clear();
    views_.panel->ename->clear();
    views_.panel->url->clear();
    if (views_.setLabtime)
        views_.setLabtime(QStringLiteral("00:00:00"));
    views_.panel_state->hide();
    catalogue_.audioInfo->setEnabled(false);
    if (views_.redrawList)
        views_.redrawList();
    Q_EMIT nowPlayingChanged();
}

void StreamPlayer::NextStation() {
    StepStation(1);
}

void StreamPlayer::PreviousStation() {
    StepStation(-1);
}

void StreamPlayer::StepStation(int step) {
    const int rows = catalogue_.LV.rowCount();
    if (rows == 0)
        return;
    const int selected = catalogue_.selectedRow();
    const int target = selected < 0 ? 0 : qBound(0, selected + step, rows - 1);
    catalogue_.selectRow(target);
    state_.CurrentRow = target;
    state_.StationListActive = true;
    if (!state_.StationPlaying)
        return;
    if (stopLocalPlayback)
        stopLocalPlayback();
    const QString address = catalogue_.stationRow(target).StreamUrl;
    startWorker(address);
    views_.panel->url->setText(address);
}

void StreamPlayer::AuditionStation() {
    StationRecord row;
    row.StreamUrl = text::trimControl(views_.panel->url->text());
    catalogue_.appendStationRow(row);
    const QString address = catalogue_.stationRow(catalogue_.LV.rowCount() - 1).StreamUrl;
    startWorker(address);
    views_.panel->url->setText(address);
}

void StreamPlayer::MuteVolume() {
    views_.BitBtn1->hide();
    views_.BitBtn2->show();
    library_.SetVolume(0);
}

void StreamPlayer::UnmuteVolume() {
    views_.BitBtn2->hide();
    views_.BitBtn1->show();
    library_.SetVolume(views_.barv ? views_.barv() : library_.GetVolume());
}

void StreamPlayer::VolumeTrack(int newPos) {
    UnmuteVolume();
    library_.SetVolume(newPos);
}

void StreamPlayer::VolumeStep(int delta) {
    UnmuteVolume();
    const int value = (views_.barv ? views_.barv() : library_.GetVolume()) + delta;
    if (views_.setBarv)
        views_.setBarv(value);
    library_.SetVolume(value);
}

QString StreamPlayer::ElapsedText() const {
    // The time of day of (now + played before − start): it wraps after 24 hours.
    const qint64 ms = state_.PlayStart.msecsTo(clock_.now()) + state_.PlayedBeforeMs;
    const qint64 seconds = ((ms / 1000) % 86400 + 86400) % 86400;
    return text::elapsedText(seconds);
}

void StreamPlayer::ClockTick() {
    if (!state_.StationPlaying || state_.StationPaused || state_.LocalPlaying || state_.Recording)
        return;
    if (views_.setLabtime)
        views_.setLabtime(ElapsedText());
}

} // namespace varnelo
