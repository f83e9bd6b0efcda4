#include "radio/StreamPlayer.h"

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

StreamPlayer::StreamPlayer(StationCatalogue &catalogue, StreamLibrary &library, Prompts &prompts,
                           DesktopShell &shell, Clock &clock, StreamPlayerViews views, QObject *parent)
    : Player(MediaKind::Station, parent), catalogue_(catalogue), library_(library), prompts_(prompts),
      shell_(shell), clock_(clock), views_(std::move(views)),
      connector_(new StationConnector(library, this)) {
    StationPanel *panel = views_.panel;
    // What servers send is shown, never interpreted (no markup, no control characters).
    panel->Lstatus->setTextFormat(Qt::PlainText);
    views_.lab_state->setTextFormat(Qt::PlainText);
    connect(connector_, &StationConnector::connecting, this, [this, panel] {
        title_.clear();
        stationName_.clear();
        setStatus(QStringLiteral("connecting..."));
        panel->eurl->clear();
        panel->egenre->clear();
        panel->ename->clear();
    });
    connect(connector_, &StationConnector::streamCreated, this,
            [this](std::uint32_t handle) { handle_ = handle; });
    connect(connector_, &StationConnector::headers, this,
            [this, panel](const QString &name, const QString &genre, const QString &url) {
                stationName_ = name;
                panel->ename->setText(name);
                panel->egenre->setText(genre);
                panel->eurl->setText(url);
            });
    connect(connector_, &StationConnector::title, this, [this](std::uint32_t handle, const QString &title) {
        if (handle != handle_) // a title of a stream that was replaced is dropped
            return;
        title_ = title;
        setStatus(title);
        Q_EMIT nowPlayingChanged();
    });
    connect(connector_, &StationConnector::playing, this, [this](std::uint32_t) {
        playStart_ = clock_.now();
        playedBeforeMs_ = 0;
        setPlaying(true, false);
        if (views_.redrawList)
            views_.redrawList();
        views_.panel->Lstatus->setText(text::escapeControls(title_)); // a first title may come before this
        catalogue_.audioInfo->setEnabled(true);
        showNowPlaying();
        Q_EMIT nowPlayingChanged();
    });
    const auto toIdle = [this] {
        setPlaying(false, paused_);
        if (views_.setLabtime)
            views_.setLabtime(QStringLiteral("00:00:00"));
    };
    // The reason stays in the strip until the next action.
    connect(connector_, &StationConnector::failed, this, [this, toIdle](int code, const QString &reason) {
        setStatus(StreamFailureText(code, reason));
        toIdle();
        stripShown(true);
        if (!shell_.networkReachable())
            prompts_.message(QStringLiteral("The system reports no network connection. Please "
                                            "check that this computer is connected."),
                             dialogCaption(), PromptIcon::Information, PromptButtons::Ok);
    });
    // Stop while connecting: the attempt ends without a failure to report.
    connect(connector_, &StationConnector::cancelled, this, [this, toIdle] {
        setStatus(QString());
        toIdle();
        stripShown(false);
    });
    connect(connector_, &StationConnector::streamStatus, this,
            [this](std::uint32_t handle, bool gaveUp, const QString &text) {
                if (handle != handle_ || !playing_)
                    return;
                if (!gaveUp) {
                    setStatus(text.isEmpty() ? text : text.at(0).toUpper() + text.mid(1)); // "Reconnected"
                    return;
                }
                // The stream dropped and could not be reached again: the text says why.
                setStatus(text);
                setPlaying(false, false);
                if (views_.setLabtime)
                    views_.setLabtime(QStringLiteral("00:00:00"));
                catalogue_.audioInfo->setEnabled(false);
                if (views_.redrawList)
                    views_.redrawList();
                Q_EMIT nowPlayingChanged();
            });
    connect(connector_, &StationConnector::finished, this, [this] {
        setConnecting(false);
        Q_EMIT connectFinished();
    });
}

StreamPlayer::~StreamPlayer() {
    connector_->cancel();
    connector_->wait();
}

void StreamPlayer::stripText(const QString &text) {
    if (views_.setStripText)
        views_.setStripText(text);
    else
        views_.lab_state->setText(text);
}

void StreamPlayer::stripShown(bool shown) {
    if (views_.showStrip)
        views_.showStrip(shown);
    else
        views_.panel_state->setVisible(shown);
}

void StreamPlayer::setStatus(const QString &text) {
    const QString shown = text::escapeControls(text);
    views_.panel->Lstatus->setText(shown);
    stripText(shown);
}

void StreamPlayer::setPlaying(bool playing, bool paused) {
    playing_ = playing;
    paused_ = paused;
    setConnecting(connectWorker_);
}

void StreamPlayer::setConnecting(bool on) {
    connectWorker_ = on;
    setState(connectWorker_ ? PlayState::Connecting
             : playing_     ? (paused_ ? PlayState::Paused : PlayState::Playing)
                            : PlayState::Stopped);
}

QString StreamPlayer::CurrentTitle() const {
    return playing_ ? title_ : QString();
}

NowPlaying StreamPlayer::nowPlaying() const {
    NowPlaying now;
    if (state() == PlayState::Stopped)
        return now;
    now.kind = MediaKind::Station;
    // Stream titles are mostly "Artist - Title".
    const qsizetype dash = title_.indexOf(QLatin1String(" - "));
    now.title = (dash > 0 ? title_.mid(dash + 3) : title_).trimmed();
    if (dash > 0)
        now.artist = title_.left(dash).trimmed();
    now.station = stationName_.isEmpty() ? views_.panel->ename->text() : stationName_;
    now.album = now.station;
    if (now.title.isEmpty())
        now.title = now.station;
    now.source = views_.panel->url->text();
    return now;
}

qint64 StreamPlayer::positionMs() const {
    if (!playing_)
        return 0;
    const qint64 ms = playStart_.isValid() && !paused_ ? playStart_.msecsTo(clock_.now()) + playedBeforeMs_
                                                       : playedBeforeMs_;
    return std::max<qint64>(0, ms);
}

void StreamPlayer::play() {
    if (!playing_ || paused_)
        PlayPauseStation();
}

void StreamPlayer::pause() {
    if (playing_ && !paused_)
        PlayPauseStation();
}

void StreamPlayer::setVolume(int percent) {
    if (views_.setBarv)
        views_.setBarv(percent);
    VolumeTrack(percent);
}

void StreamPlayer::showNowPlaying() {
    // The state strip stays where the user looks while a station plays: its
    // title, or its name until the first title comes.
    QString text = title_;
    if (text.isEmpty())
        text = text::trimControl(views_.panel->ename->text());
    if (text.isEmpty() && catalogue_.lists.currentRow >= 0 &&
        catalogue_.lists.currentRow < catalogue_.LV.rowCount()) {
        const StationRecord row = catalogue_.stationRow(catalogue_.lists.currentRow);
        text = row.Name.isEmpty() ? row.StreamUrl : row.Name; // an auditioned address has no name
    }
    stripText(text::escapeControls(text));
    stripShown(true);
}

void StreamPlayer::startWorker(const QString &address) {
    if (connectWorker_) {
        shell_.beep();
        return;
    }
    // What else plays stops before the stream takes the output.
    Q_EMIT starting();
    setConnecting(true);
    address_ = address;
    connector_->start(address, handle_);
    if (connectStarted)
        connectStarted(address);
}

void StreamPlayer::StartStation() {
    stripShown(true);
    views_.panel->hide();
    if (catalogue_.LV.rowCount() == 0)
        return;
    const int row = catalogue_.selectedRow();
    if (row < 0)
        return;
    catalogue_.lists.currentRow = row;
    if (views_.redrawList)
        views_.redrawList();
    const QString address = catalogue_.stationRow(row).StreamUrl;
    startWorker(address);
    views_.panel->url->setText(address);
}

void StreamPlayer::PlayAddress(const QString &address) {
    stripShown(true);
    views_.panel->hide();
    startWorker(address);
    views_.panel->url->setText(address);
}

void StreamPlayer::LVDblClick() {
    if (catalogue_.selectedRow() < 0)
        return;
    // The station that played until now goes to the history; with none
    // playing, the panel holds nothing worth keeping.
    if (playing_) {
        catalogue_.AddToHistory();
        playStart_ = clock_.now(); // the time counts for the next station
        playedBeforeMs_ = 0;
    }
    StartStation();
}

void StreamPlayer::PlayPauseStation() {
    views_.panel->hide();
    if (catalogue_.LV.rowCount() == 0)
        return;
    if (catalogue_.selectedRow() < 0) {
        const bool current = playing_ && catalogue_.lists.currentRow >= 0 &&
                             catalogue_.lists.currentRow < catalogue_.LV.rowCount();
        catalogue_.selectRow(current ? catalogue_.lists.currentRow : 0);
    }
    catalogue_.lists.currentRow = catalogue_.selectedRow();
    if (playing_) {
        if (paused_) {
            library_.ChannelPlay(handle_);
            playStart_ = clock_.now();
        } else {
            library_.ChannelPause(handle_);
            playedBeforeMs_ += playStart_.msecsTo(clock_.now());
        }
        setPlaying(true, !paused_);
        return;
    }
    stripShown(true);
    const QString address = catalogue_.stationRow(catalogue_.lists.currentRow).StreamUrl;
    startWorker(address);
    views_.panel->url->setText(address);
}

void StreamPlayer::StopRadioOrRecording() {
    if (stopRecordingIfRunning && stopRecordingIfRunning())
        return;
    if (connectWorker_)
        connector_->cancel(); // ends the connect within a second; it reports cancelled()
    if (!playing_)
        return;
    library_.ChannelStop(handle_);
    setPlaying(false, false);
    views_.panel->Lstatus->clear();
    views_.panel->eurl->clear();
    views_.panel->egenre->clear();
    views_.panel->ename->clear();
    views_.panel->url->clear();
    if (views_.setLabtime)
        views_.setLabtime(QStringLiteral("00:00:00"));
    stripShown(false);
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
    catalogue_.lists.currentRow = target;
    catalogue_.lists.stationListActive = true;
    if (!playing_)
        return;
    const QString address = catalogue_.stationRow(target).StreamUrl;
    startWorker(address);
    views_.panel->url->setText(address);
}

void StreamPlayer::AuditionStation() {
    StationRecord row;
    row.StreamUrl = text::trimControl(views_.panel->url->text());
    catalogue_.appendStationRow(row);
    // What plays is this row: the strip and the list's mark name it, not the row selected before.
    catalogue_.lists.currentRow = catalogue_.LV.rowCount() - 1;
    const QString address = catalogue_.stationRow(catalogue_.lists.currentRow).StreamUrl;
    startWorker(address);
    views_.panel->url->setText(address);
}

void StreamPlayer::MuteVolume() {
    views_.BitBtn1->hide();
    views_.BitBtn2->show();
    library_.SetVolume(0);
    Q_EMIT volumeChanged();
}

void StreamPlayer::UnmuteVolume() {
    views_.BitBtn2->hide();
    views_.BitBtn1->show();
    library_.SetVolume(views_.barv ? views_.barv() : library_.GetVolume());
    Q_EMIT volumeChanged();
}

void StreamPlayer::VolumeTrack(int newPos) {
    UnmuteVolume();
    library_.SetVolume(newPos);
    Q_EMIT volumeChanged();
}

void StreamPlayer::VolumeStep(int delta) {
    UnmuteVolume();
    const int value = (views_.barv ? views_.barv() : library_.GetVolume()) + delta;
    if (views_.setBarv)
        views_.setBarv(value);
    library_.SetVolume(value);
    Q_EMIT volumeChanged();
}

QString StreamPlayer::ElapsedText() const {
    // The time of day of (now + played before − start): it wraps after 24 hours.
    const qint64 ms = playStart_.msecsTo(clock_.now()) + playedBeforeMs_;
    const qint64 seconds = ((ms / 1000) % 86400 + 86400) % 86400;
    return text::elapsedText(seconds);
}

void StreamPlayer::ClockTick() {
    if (!playing_ || paused_)
        return;
    Q_EMIT positionChanged(positionMs());
    if (recordingRuns && recordingRuns()) // the recording's time shows instead
        return;
    if (views_.setLabtime)
        views_.setLabtime(ElapsedText());
}

} // namespace varnelo
