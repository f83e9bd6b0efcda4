#include "platform/shell/QtPrompts.h"

#include <QFileDialog>
#include <QIcon>
#include <QInputDialog>
#include <QMessageBox>
#include <QStyle>
#include <map>

namespace varnelo {

PromptAnswer QtPrompts::message(const QString &text, const QString &caption, PromptIcon icon,
                                PromptButtons buttons) {
    QMessageBox box(owner_);
    box.setWindowTitle(caption);
    box.setText(text);
    switch (icon) {
    case PromptIcon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case PromptIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case PromptIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case PromptIcon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case PromptIcon::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    }
    // The desktop's own icons where its theme has them; the style's pictures otherwise.
    static const std::map<PromptIcon, QString> themed{
        {PromptIcon::Information, QStringLiteral("dialog-information")},
        {PromptIcon::Question, QStringLiteral("dialog-question")},
        {PromptIcon::Warning, QStringLiteral("dialog-warning")},
        {PromptIcon::Error, QStringLiteral("dialog-error")}};
    if (const auto name = themed.find(icon); name != themed.end()) {
        const QIcon picture = QIcon::fromTheme(name->second);
        const int size = box.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &box);
        if (!picture.isNull())
            box.setIconPixmap(picture.pixmap(QSize(size, size), box.devicePixelRatioF()));
    }
    switch (buttons) {
    case PromptButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case PromptButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case PromptButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Cancel:
        return PromptAnswer::Cancel;
    case QMessageBox::Yes:
        return PromptAnswer::Yes;
    case QMessageBox::No:
        return PromptAnswer::No;
    default:
        return buttons == PromptButtons::YesNo ? PromptAnswer::No : PromptAnswer::Ok;
    }
}

void QtPrompts::plain(const QString &text) {
    QMessageBox box(owner_);
    box.setWindowTitle(dialogCaption());
    box.setText(text);
    box.exec();
}

QStringList QtPrompts::openFiles(const QString &caption, const QString &folder, const QString &filter) {
    return QFileDialog::getOpenFileNames(owner_, caption, folder, filter);
}

QString QtPrompts::chooseFolder(const QString &caption, const QString &start, FolderPurpose purpose) {
    if (folderChooser_)
        return folderChooser_(start, purpose);
    return QFileDialog::getExistingDirectory(owner_, caption, start);
}

int QtPrompts::chooseItem(const QString &caption, const QString &text, const QStringList &items) {
    if (items.isEmpty())
        return -1;
    bool ok = false;
    const QString chosen = QInputDialog::getItem(owner_, caption, text, items, 0, false, &ok);
    return ok ? int(items.indexOf(chosen)) : -1;
}

} // namespace varnelo
