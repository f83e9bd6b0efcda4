#pragma once
#include "common/Seams.h"

#include <QDateTime>
#include <QTimer>
#include <deque>
#include <vector>

namespace varnelo::test {

// Records every message and answers from a script (default: the first button).
class FakePrompts : public Prompts {
public:
    struct Shown {
        QString text, caption;
        PromptIcon icon;
        PromptButtons buttons;
    };
    std::vector<Shown> shown;
    std::vector<QString> plainShown;
    std::deque<PromptAnswer> answers;
    QStringList filesToOpen;
    QString folderToChoose;

    PromptAnswer message(const QString &text, const QString &caption, PromptIcon icon,
                         PromptButtons buttons) override {
        shown.push_back({text, caption, icon, buttons});
        if (!answers.empty()) {
            const PromptAnswer a = answers.front();
            answers.pop_front();
            return a;
        }
        return buttons == PromptButtons::YesNo ? PromptAnswer::Yes : PromptAnswer::Ok;
    }
    void plain(const QString &text) override { plainShown.push_back(text); }
    QStringList openFiles(const QString &, const QString &, const QString &) override { return filesToOpen; }
    QString chooseFolder(const QString &, const QString &, FolderPurpose purpose) override {
        folderPurposes.push_back(purpose);
        return folderToChoose;
    }
    std::vector<FolderPurpose> folderPurposes;
    // Choices offered, and the index answered (-1 cancels).
    std::vector<QStringList> choicesShown;
    int choiceToMake = 0;
    int chooseItem(const QString &, const QString &, const QStringList &items) override {
        choicesShown.push_back(items);
        return choiceToMake;
    }
};

class FakeShell : public DesktopShell {
public:
    QStringList openedFolders;
    int beeps = 0;
    int powerOffs = 0;
    bool reachable = true;
    void openFolder(const QString &path) override { openedFolders.append(path); }
    void beep() override { ++beeps; }
    bool powerOff() override {
        ++powerOffs;
        return true;
    }
    bool networkReachable() override { return reachable; }

    QStringList refreshedFolders;
    void associationsChanged(const QString &folder) override { refreshedFolders.append(folder); }
};

class FakeClock : public Clock {
public:
    QDateTime current = QDateTime(QDate(2026, 1, 2), QTime(10, 0, 0));
    QDateTime now() const override { return current; }
};

// The station directory's mirrors: a list of the test's own servers, given
// from the event loop as the DNS answer would be.
class FakeMirrorLookup : public MirrorLookup {
public:
    QStringList servers;
    QStringList namesAsked;
    void lookup(const QString &name, QObject *context, std::function<void(QStringList)> done) override {
        namesAsked.append(name);
        QTimer::singleShot(0, context, [done = std::move(done), list = servers] { done(list); });
    }
};

} // namespace varnelo::test
