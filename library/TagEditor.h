#pragma once
#include "platform/tags/AudioInformation.h"

#include <QDialog>

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace varnelo {

class ShownPage;
class PlaybackCoordinator;
class DesktopShell;
class LibraryCatalogue;
class Prompts;

// The tag editor `fm_id3`: shows the tags and facts of one file through its
// information component and writes edited tags back. Created once and kept;
// its component also serves other subsystems while the window is hidden
// (WAV tags of the library, tags of recordings and conversions). Every
// control carries its name as objectName.
class TagEditor : public QDialog {
    Q_OBJECT
public:
    // `library` may be null (no library update then).
    TagEditor(const ShownPage &page, Prompts &prompts, DesktopShell &shell, LibraryCatalogue *library,
              QWidget *parent = nullptr);

    // What plays (unbound: nothing).
    const PlaybackCoordinator *playback = nullptr;

    AudioInformation AudioInformation1;
    // The path the editor works on.
    QString TagFile;

    // Sets TagFile, fills the controls from the file and shows the window.
    // Throws varnelo::Error (LoadInfo) when the file cannot be read; the window stays hidden then.
    void Open(const QString &path);
    void LoadTagFields();
    void ApplyTags();
    // "open": the file manager on the folder of infoFileName.
    void btn_openClick();
    // Asks for a JPEG or PNG file and makes it the front cover of TagFile.
    void AddCover();
    void RemoveCover();

    QLineEdit *infoFileName, *infoTitle, *infoArtist, *infoAlbum, *infoCopyright, *infoYear, *infoTrack,
        *infoComment, *infoComposer, *infoURL, *infoEncodedBy, *infoFormatString, *infoFrequency,
        *infoBitrate, *infoDuration, *infoChannels, *infoSamples, *infoSize, *infoBitsPerSample,
        *infoFormatTag, *infoTrackGain, *infoAlbumGain;
    // The front cover, scaled to fit; its size and type in the tip.
    QLabel *infoCover;
    QComboBox *infoGenre;
    QGroupBox *infoMTV;
    QButtonGroup *infoMTVButtons;
    QPushButton *btnApply, *btnReset, *btn_open, *Button2, *btnCover, *btnRemoveCover;
    QLabel *lab_status; // what the last Apply did

private:
    void buildUi();
    void updateLibrary();
    void fitFieldsToTexts();
    void showCover();
    void showGain();

    const ShownPage &page_;
    Prompts &prompts_;
    DesktopShell &shell_;
    LibraryCatalogue *library_;
};

} // namespace varnelo
