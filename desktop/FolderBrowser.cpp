#include "desktop/FolderBrowser.h"

#include "common/SettingsFile.h"
#include "common/SettingsKeys.h"
#include "desktop/DialogPlacement.h"

#include <QCheckBox>
#include <QDir>
#include <QFileIconProvider>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

namespace varnelo {
namespace {

constexpr int PathRole = Qt::UserRole;
constexpr int FilledRole = Qt::UserRole + 1;
constexpr int ButtonTop = 254;

QString cleanPath(const QString &path) {
    return QDir::cleanPath(QDir::fromNativeSeparators(path));
}

// Is `path` the folder `root` or inside it?
bool within(const QString &path, const QString &root) {
    if (root == QLatin1String("/"))
        return path.startsWith(QLatin1Char('/'));
    return path == root || path.startsWith(root + QLatin1Char('/'));
}

} // namespace

FolderBrowser::FolderBrowser(SettingsFile &settings, QWidget *parent) : QDialog(parent), settings_(settings) {
    setObjectName(QStringLiteral("fm_dir"));
    setWindowTitle(QStringLiteral("Browse path"));
    setFixedSize(Width, Height);

    Label1 = new QLabel(QStringLiteral("Please select a destination folder"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(8, 6, Width - 16, 22);
    ShellTreeView1 = new QTreeWidget(this);
    ShellTreeView1->setObjectName(QStringLiteral("ShellTreeView1"));
    ed_path = new QLineEdit(this);
    ed_path->setObjectName(QStringLiteral("ed_path"));
    ed_path->setGeometry(8, 30, Width - 16, 22);
    ed_path->setPlaceholderText(QStringLiteral("Type a folder and press Enter"));
    ShellTreeView1->setGeometry(8, 56, Width - 16, ButtonTop - 64);
    ShellTreeView1->setHeaderHidden(true);
    ShellTreeView1->setRootIsDecorated(true);
    ShellTreeView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ShellTreeView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ShellTreeView1->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ShellTreeView1->header()->setStretchLastSection(false);

    const auto button = [this](const QString &text, const char *name) {
        auto *b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(0, ButtonTop, 75, 25);
        return b;
    };
    Button1 = button(QStringLiteral("New Folder"), "Button1");
    Button1->setGeometry(8, ButtonTop, 96, 25);
    Subfolders = new QCheckBox(QStringLiteral("Include sub-folders"), this);
    Subfolders->setObjectName(QStringLiteral("Subfolders"));
    Subfolders->setGeometry(8, ButtonTop - 28, Width - 16, 22);
    btn_ok = button(QStringLiteral("Ok"), "btn_ok");
    btn_cancel = button(QStringLiteral("Cancel"), "btn_cancel");
    btn_ok->setDefault(true);
    connect(btn_ok, &QPushButton::clicked, this, &FolderBrowser::btn_okClick);
    connect(btn_cancel, &QPushButton::clicked, this, &FolderBrowser::btn_cancelClick);
    connect(Button1, &QPushButton::clicked, this, &FolderBrowser::Button1Click);

    connect(ShellTreeView1, &QTreeWidget::itemExpanded, this, &FolderBrowser::fill);
    connect(ShellTreeView1, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *item) {
        if (item)
            ed_path->setText(item->data(0, PathRole).toString());
    });
    // Enter in the field selects the typed folder (as far as it exists) rather than closing.
    ed_path->installEventFilter(this);
    addFolder(nullptr, QDir::homePath(), QStringLiteral("Home"));
    addFolder(nullptr, QStringLiteral("/"), QStringLiteral("File System"));
    SetMode(purpose_);
}

QTreeWidgetItem *FolderBrowser::addFolder(QTreeWidgetItem *parent, const QString &path, const QString &text) {
    auto *item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(ShellTreeView1);
    item->setText(0, text);
    item->setToolTip(0, path);
    item->setData(0, PathRole, path);
    item->setData(0, FilledRole, false);
    static const QFileIconProvider icons;
    item->setIcon(0, parent ? icons.icon(QFileIconProvider::Folder)
                            : icons.icon(path == QLatin1String("/") ? QFileIconProvider::Drive
                                                                    : QFileIconProvider::Folder));
    // Whether it has sub-folders shows when it is opened.
    item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    return item;
}

void FolderBrowser::fill(QTreeWidgetItem *item) {
    if (!item || item->data(0, FilledRole).toBool())
        return;
    item->setData(0, FilledRole, true);
    const QString path = item->data(0, PathRole).toString();
    const QDir dir(path);
    const QStringList names = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Readable,
                                            QDir::Name | QDir::IgnoreCase | QDir::LocaleAware);
    for (const QString &name : names)
        addFolder(item, dir.absoluteFilePath(name), name);
    item->setChildIndicatorPolicy(names.isEmpty() ? QTreeWidgetItem::DontShowIndicator
                                                  : QTreeWidgetItem::ShowIndicator);
}

void FolderBrowser::refill(QTreeWidgetItem *item) {
    const bool open = item->isExpanded();
    qDeleteAll(item->takeChildren());
    item->setData(0, FilledRole, false);
    fill(item);
    item->setExpanded(open || item->childCount() > 0);
}

QString FolderBrowser::SelectedFolder() const {
    const QList<QTreeWidgetItem *> selected = ShellTreeView1->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->data(0, PathRole).toString();
}

bool FolderBrowser::SelectFolder(const QString &path) {
    const QString target = cleanPath(path);
    if (!target.startsWith(QLatin1Char('/')))
        return false;
    // Under the home folder when it is there, else under "/".
    QTreeWidgetItem *item = nullptr;
    for (int i = 0; i < ShellTreeView1->topLevelItemCount() && !item; ++i) {
        QTreeWidgetItem *root = ShellTreeView1->topLevelItem(i);
        if (within(target, root->data(0, PathRole).toString()))
            item = root;
    }
    if (!item)
        return false;
    for (;;) {
        if (item->data(0, PathRole).toString() == target)
            break;
        fill(item);
        QTreeWidgetItem *next = nullptr;
        for (int i = 0; i < item->childCount() && !next; ++i)
            if (within(target, item->child(i)->data(0, PathRole).toString()))
                next = item->child(i);
        if (!next)
            break; // the deepest folder of the path that exists
        item->setExpanded(true);
        item = next;
    }
    ShellTreeView1->setCurrentItem(item);
    ShellTreeView1->scrollToItem(item);
    return true;
}

bool FolderBrowser::eventFilter(QObject *watched, QEvent *event) {
    if (watched == ed_path && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            const QString typed = QDir::cleanPath(QDir::fromNativeSeparators(ed_path->text().trimmed()));
            SelectFolder(typed.startsWith(QLatin1Char('~')) ? QDir::homePath() + typed.mid(1) : typed);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void FolderBrowser::SetMode(FolderPurpose purpose) {
    purpose_ = purpose;
    const bool scan = purpose == FolderPurpose::LibraryScan;
    const QString text =
        scan ? QStringLiteral("Add File Directory") : QStringLiteral("Please select a destination folder");
    setWindowTitle(text);
    Label1->setText(text);
    Button1->setVisible(!scan);
    btn_ok->move(scan ? 50 : 110, ButtonTop);
    btn_cancel->move(scan ? 150 : 190, ButtonTop);
    Subfolders->setVisible(scan);
    ShellTreeView1->setFixedHeight(ButtonTop - 64 - (scan ? 28 : 0));
    Subfolders->setChecked(keys::read(settings_, keys::ScanSubfolders));
}

QString FolderBrowser::Browse(const QString &start, const QWidget *owner, FolderPurpose purpose) {
    SetMode(purpose);
    if (start.isEmpty() || !SelectFolder(start))
        SelectFolder(QDir::homePath());
    CentreOver(this, owner);
    return exec() == QDialog::Accepted ? ChosenFolder : QString();
}

void FolderBrowser::btn_okClick() {
    const QString folder = SelectedFolder();
    if (folder.isEmpty())
        return; // nothing chosen yet
    ChosenFolder = folder;
    if (purpose_ == FolderPurpose::OutputFolder) {
        keys::write(settings_, keys::OutputFolderKey, QDir::toNativeSeparators(folder));
        settings_.commit();
        if (showOutputFolder)
            showOutputFolder(storedOutputFolder ? storedOutputFolder()
                                                : keys::read(settings_, keys::OutputFolderKey, folder));
    } else if (Subfolders->isChecked() != keys::read(settings_, keys::ScanSubfolders)) {
        keys::write(settings_, keys::ScanSubfolders, Subfolders->isChecked());
        settings_.commit();
    }
    accept();
}

void FolderBrowser::btn_cancelClick() {
    ChosenFolder.clear();
    reject();
}

void FolderBrowser::Button1Click() {
    QTreeWidgetItem *selected = ShellTreeView1->currentItem();
    const QString folder = SelectedFolder();
    if (!selected || folder.isEmpty())
        return;
    const QString created = folder.endsWith(QLatin1Char('/')) ? folder + QStringLiteral("New Folder")
                                                              : folder + QStringLiteral("/New Folder");
    QDir().mkdir(created); // an existing folder or a refusal is not reported
    ChosenFolder = created;
    refill(selected);
}

} // namespace varnelo
