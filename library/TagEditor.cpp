#include "library/TagEditor.h"

#include "common/Error.h"
#include "common/PlaybackCoordinator.h"
#include "common/Seams.h"
#include "common/ShownPage.h"
#include "common/TextRules.h"
#include "library/LibraryCatalogue.h"
#include "library/LibraryFiles.h"
#include "platform/tags/GenreTable.h"

#include <QBuffer>
#include <QButtonGroup>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QVBoxLayout>

namespace varnelo {
namespace {
constexpr int CoverSide = 160;
} // namespace

TagEditor::TagEditor(const ShownPage &page, Prompts &prompts, DesktopShell &shell, LibraryCatalogue *library,
                     QWidget *parent)
    : QDialog(parent), page_(page), prompts_(prompts), shell_(shell), library_(library) {
    setObjectName(QStringLiteral("fm_id3"));
    setWindowTitle(QStringLiteral("Tags"));
    setModal(false);
    buildUi();
    for (int i = 0; i < GenreCount; ++i)
        infoGenre->addItem(AudioInformation::GenreName(i));
    infoGenre->setCurrentIndex(-1);
    AudioInformation1.SetInfoOption(true);
}

void TagEditor::buildUi() {
    const auto edit = [this](const char *name) {
        auto *e = new QLineEdit(this);
        e->setObjectName(QLatin1String(name));
        return e;
    };
    const auto fact = [&](const char *name) {
        QLineEdit *e = edit(name);
        e->setReadOnly(true);
        e->setEnabled(false);
        return e;
    };
    infoFileName = edit("infoFileName");
    infoFileName->setText(QStringLiteral("Enter File Name"));
    infoTitle = edit("infoTitle");
    infoArtist = edit("infoArtist");
    infoAlbum = edit("infoAlbum");
    infoGenre = new QComboBox(this);
    infoGenre->setObjectName(QStringLiteral("infoGenre"));
    infoGenre->setEditable(false);
    infoCopyright = edit("infoCopyright");
    infoYear = edit("infoYear");
    infoTrack = edit("infoTrack");
    infoComment = edit("infoComment");
    infoComposer = edit("infoComposer");
    infoURL = edit("infoURL");
    infoEncodedBy = edit("infoEncodedBy");
    infoFormatString = edit("infoFormatString");
    infoFormatString->setReadOnly(true);
    infoFrequency = fact("infoFrequency");
    infoBitrate = fact("infoBitrate");
    infoDuration = fact("infoDuration");
    infoChannels = fact("infoChannels");
    infoSamples = fact("infoSamples");
    infoSize = fact("infoSize");
    infoBitsPerSample = fact("infoBitsPerSample");
    infoFormatTag = fact("infoFormatTag");
    infoTrackGain = fact("infoTrackGain");
    infoAlbumGain = fact("infoAlbumGain");
    infoCover = new QLabel(this);
    infoCover->setObjectName(QStringLiteral("infoCover"));
    infoCover->setFixedSize(CoverSide, CoverSide);
    infoCover->setAlignment(Qt::AlignCenter);
    infoCover->setFrameShape(QFrame::StyledPanel);

    infoMTV = new QGroupBox(QStringLiteral("Mpeg Tag Version"), this);
    infoMTV->setObjectName(QStringLiteral("infoMTV"));
    infoMTVButtons = new QButtonGroup(this);
    auto *mtvLayout = new QHBoxLayout(infoMTV); // two columns
    for (const char *text : {"ID3v1", "ID3v2"}) {
        auto *button = new QRadioButton(QLatin1String(text), infoMTV);
        button->setObjectName(QLatin1String(text));
        infoMTVButtons->addButton(button, infoMTVButtons->buttons().size());
        mtvLayout->addWidget(button);
    }
    infoMTVButtons->button(1)->setChecked(true);
    // Only a pick by the user reaches the component; until then its own default applies.
    connect(infoMTVButtons, &QButtonGroup::idClicked, this,
            [this](int id) { AudioInformation1.setInfoMTV(id + 1); });

    const auto button = [this](const char *name, const QString &text) {
        auto *b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        return b;
    };
    btnApply = button("btnApply", QStringLiteral("Apply"));
    btnReset = button("btnReset", QStringLiteral("Reset"));
    btn_open = button("btn_open", QStringLiteral("open"));
    Button2 = button("Button2", QStringLiteral("Exit"));
    lab_status = new QLabel(this);
    lab_status->setObjectName(QStringLiteral("lab_status"));
    lab_status->setTextFormat(Qt::PlainText);
    btnCover = button("btnCover", QStringLiteral("Add Cover..."));
    btnRemoveCover = button("btnRemoveCover", QStringLiteral("Remove Cover"));

    auto *tags = new QFormLayout;
    tags->addRow(QStringLiteral("File Name:"), infoFileName);
    tags->addRow(QStringLiteral("Title:"), infoTitle);
    tags->addRow(QStringLiteral("Artist:"), infoArtist);
    tags->addRow(QStringLiteral("Album:"), infoAlbum);
    tags->addRow(QStringLiteral("Genre:"), infoGenre);
    tags->addRow(QStringLiteral("Copyright:"), infoCopyright);
    tags->addRow(QStringLiteral("Year:"), infoYear);
    tags->addRow(QStringLiteral("Track:"), infoTrack);
    tags->addRow(QStringLiteral("Comment:"), infoComment);
    tags->addRow(QStringLiteral("Composer:"), infoComposer);
    tags->addRow(QStringLiteral("URL:"), infoURL);
    tags->addRow(QStringLiteral("EncodedBy:"), infoEncodedBy);
    auto *facts = new QFormLayout;
    facts->addRow(QStringLiteral("Format String:"), infoFormatString);
    facts->addRow(QStringLiteral("Frequency:"), infoFrequency);
    facts->addRow(QStringLiteral("Bitrate:"), infoBitrate);
    facts->addRow(QStringLiteral("Duration:"), infoDuration);
    facts->addRow(QStringLiteral("Channels:"), infoChannels);
    facts->addRow(QStringLiteral("Samples:"), infoSamples);
    facts->addRow(QStringLiteral("Size:"), infoSize);
    facts->addRow(QStringLiteral("BitsPerSample:"), infoBitsPerSample);
    facts->addRow(QStringLiteral("FormatTag:"), infoFormatTag);
    facts->addRow(QStringLiteral("Track Gain:"), infoTrackGain);
    facts->addRow(QStringLiteral("Album Gain:"), infoAlbumGain);
    facts->addRow(infoMTV);
    auto *cover = new QVBoxLayout;
    cover->addWidget(infoCover);
    cover->addWidget(btnCover);
    cover->addWidget(btnRemoveCover);
    cover->addStretch();
    auto *columns = new QHBoxLayout;
    columns->addLayout(tags, 3);
    columns->addLayout(facts, 2);
    columns->addLayout(cover);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(lab_status, 1);
    for (QPushButton *b : {btnApply, btnReset, btn_open, Button2})
        buttons->addWidget(b);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(columns);
    layout->addLayout(buttons);

    // The buttons are user actions: a failure of the component (missing or
    // write-protected file) is shown with its text and the window stays.
    const auto guarded = [this](auto operation) {
        return [this, operation] {
            try {
                (this->*operation)();
            } catch (const std::exception &e) {
                lab_status->setText(QStringLiteral("Nothing was written."));
                prompts_.message(QString::fromUtf8(e.what()), dialogCaption(), PromptIcon::Information,
                                 PromptButtons::Ok);
            }
        };
    };
    connect(btnApply, &QPushButton::clicked, this, guarded(&TagEditor::ApplyTags));
    connect(btnReset, &QPushButton::clicked, this, guarded(&TagEditor::LoadTagFields));
    connect(btn_open, &QPushButton::clicked, this, &TagEditor::btn_openClick);
    connect(btnCover, &QPushButton::clicked, this, guarded(&TagEditor::AddCover));
    connect(btnRemoveCover, &QPushButton::clicked, this, guarded(&TagEditor::RemoveCover));
    connect(Button2, &QPushButton::clicked, this, &QDialog::close);
}

void TagEditor::Open(const QString &path) {
    TagFile = path;
    lab_status->clear();
    LoadTagFields();
    show();
    raise();
    activateWindow();
}

void TagEditor::LoadTagFields() {
    infoFileName->setText(TagFile);
    setWindowTitle(QStringLiteral("Tags – %1").arg(text::escapeControls(QFileInfo(TagFile).fileName())));
    AudioInformation &info = AudioInformation1;
    info.LoadInfo(TagFile);
    infoTitle->setText(info.infoTitle());
    infoArtist->setText(info.infoArtist());
    infoAlbum->setText(info.infoAlbum());
    infoGenre->setCurrentIndex(info.infoGenre());
    infoCopyright->setText(info.infoCopyright());
    infoComment->setText(info.infoComments());
    infoYear->setText(QString::number(info.infoYear()));
    infoTrack->setText(QString::number(info.infoTrack()));
    infoComposer->setText(info.infoComposer());
    infoURL->setText(info.infoURL());
    infoEncodedBy->setText(info.infoEncodedBy());
    infoFormatString->setText(info.infoFormatString());
    infoFrequency->setText(QString::number(info.infoFrequency()) + QStringLiteral(" Hz"));
    infoBitrate->setText(QString::number(info.infoBitrate()) + QStringLiteral(" bps"));
    infoDuration->setText(QString::number(info.infoDuration()) + QStringLiteral(" ms"));
    infoChannels->setText(QString::number(info.infoChannels()));
    infoSamples->setText(QString::number(info.infoSamples()));
    infoSize->setText(QString::number(info.infoSize()));
    infoBitsPerSample->setText(QString::number(info.infoBitsPerSample()));
    infoFormatTag->setText(QString::number(info.infoFormatTag()));
    showGain();
    showCover();
    fitFieldsToTexts();
}

void TagEditor::showGain() {
    const QMap<QString, QString> gain = AudioInformation1.LoadFields(
        TagFile, {QStringLiteral("REPLAYGAIN_TRACK_GAIN"), QStringLiteral("REPLAYGAIN_TRACK_PEAK"),
                  QStringLiteral("REPLAYGAIN_ALBUM_GAIN"), QStringLiteral("REPLAYGAIN_ALBUM_PEAK")});
    const auto shown = [&gain](const char *scope) {
        const QString value = gain.value(QStringLiteral("REPLAYGAIN_%1_GAIN").arg(QLatin1String(scope)));
        const QString peak = gain.value(QStringLiteral("REPLAYGAIN_%1_PEAK").arg(QLatin1String(scope)));
        return text::escapeControls(peak.isEmpty() ? value : QStringLiteral("%1, peak %2").arg(value, peak));
    };
    infoTrackGain->setText(shown("TRACK"));
    infoAlbumGain->setText(shown("ALBUM"));
}

void TagEditor::showCover() {
    AudioInformation::Cover cover;
    try {
        cover = AudioInformation1.LoadCover(TagFile);
    } catch (const Error &) {
        // The tags were read; a picture that cannot be is shown as none.
    }
    infoCover->setPixmap(QPixmap());
    infoCover->setText(cover.isNull() ? QStringLiteral("No Cover") : QString());
    infoCover->setToolTip(cover.isNull() ? QString()
                                         : QStringLiteral("%1x%2 %3")
                                               .arg(cover.width)
                                               .arg(cover.height)
                                               .arg(text::escapeControls(cover.mime)));
    btnCover->setText(cover.isNull() ? QStringLiteral("Add Cover...") : QStringLiteral("Replace Cover..."));
    btnRemoveCover->setEnabled(!cover.isNull());
    if (cover.width <= 0 || cover.height <= 0)
        return;
    // Only a JPEG or PNG has a size here, and only its own reader sees it. A JPEG
    // is decoded straight to the size shown; Qt's allocation limit caps a PNG.
    QBuffer buffer(&cover.data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, cover.mime == QLatin1String("image/png") ? "png" : "jpeg");
    reader.setAutoDetectImageFormat(false);
    reader.setScaledSize(QSize(cover.width, cover.height).scaled(CoverSide, CoverSide, Qt::KeepAspectRatio));
    const QImage image = reader.read();
    if (image.isNull())
        infoCover->setText(QStringLiteral("Damaged Cover"));
    else
        infoCover->setPixmap(QPixmap::fromImage(image));
}

void TagEditor::AddCover() {
    if (loaded(playback, MediaKind::File))
        return;
    const QStringList images =
        prompts_.openFiles(QStringLiteral("Cover Image"), QFileInfo(TagFile).absolutePath(),
                           QStringLiteral("JPEG or PNG images (*.jpg *.jpeg *.png)"));
    if (images.isEmpty())
        return;
    AudioInformation1.SaveCover(TagFile, images.first());
    showCover();
}

void TagEditor::RemoveCover() {
    if (loaded(playback, MediaKind::File))
        return;
    AudioInformation1.RemoveCover(TagFile);
    showCover();
}

void TagEditor::fitFieldsToTexts() {
    // Each field as wide as its text (up to 640 pixels; longer ones scroll), the
    // whole text also in its tip.
    constexpr int Widest = 640;
    for (QLineEdit *e : findChildren<QLineEdit *>()) {
        QStyleOptionFrame option;
        option.initFrom(e);
        option.lineWidth = e->hasFrame() ? style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, e) : 0;
        const int text = e->fontMetrics().horizontalAdvance(e->text()) + 2 * 2 + 4; // the edit's own margins
        const QSize needed =
            style()->sizeFromContents(QStyle::CT_LineEdit, &option, QSize(text, e->height()), e);
        e->setMinimumWidth(std::min(needed.width(), Widest));
        e->setToolTip(e->text());
    }
    adjustSize();
}

void TagEditor::ApplyTags() {
    if (loaded(playback, MediaKind::File)) {
        lab_status->setText(QStringLiteral("Not written: a file is playing. Stop it, then apply."));
        return;
    }
    lab_status->clear();
    AudioInformation &info = AudioInformation1;
    // Other subsystems use the component while the window is open (tagging a
    // conversion or a recording): start again from what the file holds, so
    // nothing of theirs is written here.
    info.LoadInfo(TagFile);
    info.setInfoTitle(infoTitle->text());
    info.setInfoArtist(infoArtist->text());
    info.setInfoAlbum(infoAlbum->text());
    info.setInfoGenre(infoGenre->currentIndex());
    info.setInfoCopyright(infoCopyright->text());
    info.setInfoComments(infoComment->text());
    bool ok = false;
    const int year = infoYear->text().toInt(&ok);
    if (!ok) {
        prompts_.plain(QStringLiteral("Invalid Year Value"));
        infoYear->setFocus();
        return;
    }
    info.setInfoYear(year);
    // The tags hold 16 bits: a larger number would be stored as another one.
    const int track = infoTrack->text().toInt(&ok);
    if (!ok || track < 0 || track > 0xFFFF) {
        prompts_.plain(QStringLiteral("Invalid Track Value"));
        infoTrack->setFocus();
        return;
    }
    info.setInfoTrack(track);
    info.setInfoURL(infoURL->text());
    info.setInfoComposer(infoComposer->text());
    info.setInfoEncodedBy(infoEncodedBy->text());
    info.SaveInfo(TagFile);
    lab_status->setText(
        QStringLiteral("Tags written to %1.").arg(text::escapeControls(QFileInfo(TagFile).fileName())));
    if (!page_.radio() && !page_.rip() && library_)
        updateLibrary();
}

void TagEditor::updateLibrary() {
    LibraryCatalogue &lib = *library_;
    // The row being edited is the one of TagFile: the window is modeless, so
    // the selection may have moved to another row since it was opened.
    int edited = -1;
    for (int row = 0; row < lib.rowCount() && edited < 0; ++row)
        if (lib.lv2.item(row, LibraryCatalogue::PathColumn)->text() == TagFile)
            edited = row;
    const QStandardItem *node = lib.selectedNode();
    const bool favoritesView = node && node == lib.root(LibraryCatalogue::FavoritesRoot);

    LibraryRecord record;
    record.Title = infoTitle->text();
    record.Genre = infoGenre->currentIndex() >= 0 ? infoGenre->currentText() : QString();
    record.Path = infoFileName->text();
    record.Artist = infoArtist->text();
    record.Album = infoAlbum->text();
    if (record.Artist.isEmpty())
        record.Artist = QStringLiteral("Unknown Artist");
    if (record.Album.isEmpty())
        record.Album = QStringLiteral("Unknown Album");
    if (record.Title.isEmpty())
        record.Title = QFileInfo(record.Path).fileName();
    record = record.stored();

    std::vector<LibraryRecord> oldRows;
    if (edited >= 0) {
        const LibraryRecord old = lib.trackRow(edited);
        oldRows.push_back(old);
        // The old record goes in every view, so the library keeps up with the file.
        if (QFile::exists(lib.musicPath()))
            libraryfiles::RemoveRecords(lib.musicPath(), {old.Path}, lib.scratchPath());
        if (favoritesView) {
            // A favorite stays a favorite, with its new tags.
            libraryfiles::RemoveRecords(lib.favoritesPath(), {old.Path}, lib.scratchPath());
            libraryfiles::CreateIfMissing(lib.favoritesPath());
            libraryFile(lib.favoritesPath()).append(record.toBytes());
        }
        lib.lv2.removeRow(edited);
    }
    if (QFile::exists(lib.musicPath()))
        libraryfiles::AppendIfNew(lib.musicPath(), record);
    if (!oldRows.empty())
        lib.RemoveEmptiedGroups(oldRows);
    lib.EnsureArtistNode(record.Artist);
    lib.EnsureAlbumNode(record.Album);
    lib.appendTrackRow(record);
    lib.selectRow(lib.rowCount() - 1);
    lib.SaveLibraryTree();
}

void TagEditor::btn_openClick() {
    shell_.openFolder(QFileInfo(infoFileName->text()).absolutePath());
}

} // namespace varnelo
