#include "convert/Converter.h"

#include "common/PlaybackCoordinator.h"
#include "common/Seams.h"
#include "common/SettingsKeys.h"
#include "convert/EncoderSetup.h"
#include "convert/FileConversion.h"
#include "platform/audiofile/AudioFile.h"
#include "platform/tags/AudioInformation.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QThread>
#include <QWidget>

namespace varnelo {
namespace {

enum Column { Caption = 0, ArtistItem, AlbumItem, GenreItem, PathItem };

} // namespace

Converter::Converter(std::function<int()> currentRow, QStandardItemModel &list,
                     QItemSelectionModel &selection, AudioFile &source, AudioFile &output,
                     AudioFile2LameEnc &encoder, EncoderSetup &setup, AudioInformation &tags,
                     Prompts &prompts, DesktopShell &shell, QWidget *panelParent, QObject *parent)
    : QObject(parent), currentRow_(std::move(currentRow)), list_(list), selection_(selection),
      source_(source), output_(output), encoder_(encoder), setup_(setup), tags_(tags), prompts_(prompts),
      shell_(shell) {
    const auto action = [this](const char *name, const QString &text, int kind) {
        auto *a = new QAction(text, this);
        a->setObjectName(QLatin1String(name));
        connect(a, &QAction::triggered, this, [this, kind] { ConvertTo(kind); });
        return a;
    };
    omp3 = action("omp3", QStringLiteral("To MP3"), 0);
    owav = action("owav", QStringLiteral("To WAV"), 1);
    owma = action("owma", QStringLiteral("To WMA"), 2);
    OGG = action("OGG", QStringLiteral("To OGG"), 3);
    oflac = action("oflac", QStringLiteral("To FLAC"), int(EncoderKind::Flac));
    oopus = action("oopus", QStringLiteral("To Opus"), int(EncoderKind::Opus));

    ownsPanel_ = panelParent == nullptr;
    Panel_convert = new QWidget(panelParent);
    Panel_convert->setObjectName(QStringLiteral("Panel_convert"));
    pb = new QProgressBar(Panel_convert);
    pb->setObjectName(QStringLiteral("pb"));
    pb->setRange(0, 100);
    pb->setValue(0);
    pb->setTextVisible(true);
    lab_convert_name = new QLabel(Panel_convert);
    lab_convert_name->setObjectName(QStringLiteral("lab_convert_name"));
    btn_convert_stop = new QPushButton(QStringLiteral("Stop"), Panel_convert);
    btn_convert_stop->setObjectName(QStringLiteral("btn_convert_stop"));
    auto *layout = new QHBoxLayout(Panel_convert);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(pb, 2);
    layout->addWidget(lab_convert_name, 3);
    layout->addWidget(btn_convert_stop);
    Panel_convert->hide();
    connect(btn_convert_stop, &QPushButton::clicked, this, &Converter::StopConversion);
}

Converter::~Converter() {
    if (ownsPanel_)
        delete Panel_convert;
}

void Converter::StopConversion() {
    if (converting_)
        converting_ = false;
}

void Converter::ConvertTo(int kind) {
    // A second conversion would take the components from the running one.
    if (converting_)
        return;
    setup_.ConfigureEncoder(kind, EncoderTarget{output_, encoder_, EncoderTarget::Role::Converter});
    ConvertEntry();
}

void Converter::ConvertEntry() {
    if (list_.rowCount() == 0 || converting_)
        return;
    const int row = currentRow_();
    if (row < 0 || row >= list_.rowCount())
        return;
    if (loaded(playback, MediaKind::File)) {
        if (prompts_.message(QStringLiteral("Stop playing"), dialogCaption(), PromptIcon::Question,
                             PromptButtons::OkCancel) != PromptAnswer::Ok)
            return;
        if (stopPlayback)
            stopPlayback();
    }
    const auto text = [&](int column) {
        const QStandardItem *item = list_.item(row, column);
        return item ? item->text() : QString();
    };
    const QString sourcePath = text(PathItem);
    // Taken now: the list may change while the window stays alive during the run.
    const QString title = text(Caption), artist = text(ArtistItem), album = text(AlbumItem),
                  genre = text(GenreItem);

    converting_ = true;
    Panel_convert->show();
    selection_.setCurrentIndex(list_.index(row, 0),
                               QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    const auto finish = [this] {
        pb->setValue(100);
        pb->setValue(0);
        Panel_convert->hide();
        converting_ = false;
    };

    ConversionResult result;
    QString folder;
    try {
        folder = outputFolder ? outputFolder() : defaultOutputFolder();
        if (!QFileInfo(folder).isDir())
            QDir().mkdir(folder); // one level, as a missing parent is not made
        if (!folder.endsWith(QLatin1Char('/')) && !folder.endsWith(QDir::separator()))
            folder += QDir::separator();
        lastOutput_ = ConvertedFileName(folder, sourcePath, setup_.OutputExtension());
        lab_convert_name->setText(lastOutput_ + QStringLiteral("  "));
        // One file at a time here, so an MP3 takes every core.
        output_.SetEncoderThreads(QThread::idealThreadCount());
        result = ConvertAudioFile(source_, output_, sourcePath, lastOutput_, [this](int percent) {
            pb->setValue(percent);
            QCoreApplication::processEvents();
            return converting_;
        });
    } catch (...) {
        finish();
        throw;
    }
    finish();

    if (!result.ok && !result.stopped) {
        // Nothing usable was written: say so rather than tag a missing file.
        prompts_.message(QStringLiteral("Cannot convert \"%1\": %2").arg(sourcePath, result.error),
                         dialogCaption(), PromptIcon::Information, PromptButtons::Ok);
        Q_EMIT conversionFinished(lastOutput_, false, result.error);
        return;
    }
    // Nothing of the file the component read last may reach this one.
    tags_.ClearInfo();
    tags_.setInfoTitle(title);
    tags_.setInfoArtist(artist);
    tags_.setInfoAlbum(album);
    tags_.setInfoGenreS(genre);
    tags_.SaveInfo(lastOutput_, true);
    if (result.ok)
        Q_EMIT conversionFinished(lastOutput_, true, QString());
    if (openFolderWhenDone && openFolderWhenDone())
        shell_.openFolder(folder);
}

} // namespace varnelo
