#pragma once
#include "common/Seams.h"

#include <QPointer>
#include <QWidget>
#include <functional>

namespace varnelo {

// Message boxes and file dialogs owned by the given window.
class QtPrompts final : public Prompts {
public:
    explicit QtPrompts(QWidget *owner = nullptr) : owner_(owner) {}
    void setOwner(QWidget *owner) { owner_ = owner; }

    PromptAnswer message(const QString &text, const QString &caption, PromptIcon icon,
                         PromptButtons buttons) override;
    void plain(const QString &text) override;
    QStringList openFiles(const QString &caption, const QString &folder, const QString &filter) override;
    QString chooseFolder(const QString &caption, const QString &start, FolderPurpose purpose) override;
    int chooseItem(const QString &caption, const QString &text, const QStringList &items) override;
    // The program's own folder browser in place of the standard folder dialog.
    void setFolderChooser(std::function<QString(const QString &start, FolderPurpose purpose)> chooser) {
        folderChooser_ = std::move(chooser);
    }

private:
    QPointer<QWidget> owner_;
    std::function<QString(const QString &, FolderPurpose)> folderChooser_;
};

} // namespace varnelo
