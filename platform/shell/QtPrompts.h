#pragma once
#include "common/Seams.h"

#include <QPointer>
#include <QWidget>

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
    QString chooseFolder(const QString &caption, const QString &start) override;
    int chooseItem(const QString &caption, const QString &text, const QStringList &items) override;

private:
    QPointer<QWidget> owner_;
};

} // namespace varnelo
