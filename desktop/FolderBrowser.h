#pragma once
#include "common/Seams.h"

#include <QDialog>
#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace varnelo {

class SettingsFile;

// The folder browser `fm_dir`: a fixed 276 by 282 dialog over the folder tree
// of the file system (the home folder, then "/"), folders only, read when a
// folder is opened and not refreshed behind the user's back. Its mode is the
// purpose the caller shows it for: destination mode chooses the output
// folder (OK writes section "video", key "path" and shows it in the options
// dialog), scan mode chooses a folder to add to the library (OK writes nothing).
class FolderBrowser : public QDialog {
    Q_OBJECT
public:
    static constexpr int Width = 276;
    static constexpr int Height = 282;

    FolderBrowser(SettingsFile &settings, QWidget *parent = nullptr);

    QLabel *Label1;
    QTreeWidget *ShellTreeView1;
    QPushButton *btn_ok;
    QPushButton *btn_cancel;
    QPushButton *Button1;  // New Folder
    QCheckBox *Subfolders; // "Include sub-folders", in scan mode
    QLineEdit *ed_path;    // the selected folder's path; a path typed and Enter selects it

    // The result, read by the caller after the modal showing; empty after Cancel.
    QString ChosenFolder;

    // Caption, label, buttons and their places for the purpose.
    void SetMode(FolderPurpose purpose);
    // Selects `start` (or the home folder), centres over `owner`, shows modally
    // and gives ChosenFolder after OK, or nothing after Cancel or the close button.
    QString Browse(const QString &start, const QWidget *owner, FolderPurpose purpose);

    void btn_okClick();
    void btn_cancelClick();
    void Button1Click();

    // The folder tree: the path of the selected folder, and selecting one
    // (opening the folders above it); false when no part of it is in the tree.
    QString SelectedFolder() const;
    bool SelectFolder(const QString &path);

    // The output folder read back from the settings file with its default, and
    // where it is shown (the options dialog's ed_out).
    std::function<QString()> storedOutputFolder;
    std::function<void(const QString &)> showOutputFolder;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QTreeWidgetItem *addFolder(QTreeWidgetItem *parent, const QString &path, const QString &text);
    void fill(QTreeWidgetItem *item);
    void refill(QTreeWidgetItem *item);

    SettingsFile &settings_;
    FolderPurpose purpose_ = FolderPurpose::OutputFolder;
};

} // namespace varnelo
