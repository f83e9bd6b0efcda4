#pragma once
#include <QObject>
#include <QString>
#include <functional>

class QAction;
class QItemSelectionModel;
class QLabel;
class QProgressBar;
class QPushButton;
class QStandardItemModel;
class QWidget;

namespace varnelo {

class PlaybackCoordinator;
class AudioFile;
class AudioFile2LameEnc;
class AudioInformation;
class DesktopShell;
class EncoderSetup;
class Prompts;

// Converts one entry of the track list `lv2` into the OutputFolder in the
// format last configured on the converter's file component, on the GUI
// thread: the window stays alive between one-second chunks so "Stop" works.
class Converter : public QObject {
    Q_OBJECT
public:
    // `list` holds the caption and sub-items Artist, Album, Genre, Path in
    // columns 0..4. `source` is the file component shared with local playback,
    // `output` and `encoder` the converter's target, `tags` the tag editor's
    // component; `currentRow` tells the row acted on. The panel is made a child
    // of `panelParent` (owned here when null).
    Converter(std::function<int()> currentRow, QStandardItemModel &list, QItemSelectionModel &selection,
              AudioFile &source, AudioFile &output, AudioFile2LameEnc &encoder, EncoderSetup &setup,
              AudioInformation &tags, Prompts &prompts, DesktopShell &shell, QWidget *panelParent = nullptr,
              QObject *parent = nullptr);

    // What plays (unbound: nothing).
    const PlaybackCoordinator *playback = nullptr;
    ~Converter() override;

    bool converting() const { return converting_; }

    // The items of the submenu `Converter1` ("Converter ").
    QAction *omp3;
    QAction *owav;
    QAction *owma;
    QAction *OGG;
    QAction *oflac;
    QAction *oopus;

    // The conversion panel and its controls.
    QWidget *Panel_convert;
    QProgressBar *pb;
    QLabel *lab_convert_name;
    QPushButton *btn_convert_stop;

    // Live settings: OutputFolder (`video`/`path`) and `cb_auto`.
    std::function<QString()> outputFolder;
    std::function<bool()> openFolderWhenDone;
    // StopPlayback of local playback.
    std::function<void()> stopPlayback;

    // ConfigureEncoder(kind) on the converter target, then ConvertEntry.
    void ConvertTo(int kind);
    void ConvertEntry();
    void StopConversion();

    // The output path of the last conversion.
    QString lastOutput() const { return lastOutput_; }

Q_SIGNALS:
    // A conversion ran to its end (a stopped one does not): written and tagged
    // to `output`, or failed with `error`.
    void conversionFinished(const QString &output, bool ok, const QString &error);

private:
    std::function<int()> currentRow_;
    bool converting_ = false; // a conversion runs: it holds the file components
    QStandardItemModel &list_;
    QItemSelectionModel &selection_;
    AudioFile &source_;
    AudioFile &output_;
    AudioFile2LameEnc &encoder_;
    EncoderSetup &setup_;
    AudioInformation &tags_;
    Prompts &prompts_;
    DesktopShell &shell_;
    bool ownsPanel_ = false;
    QString lastOutput_;
};

} // namespace varnelo
