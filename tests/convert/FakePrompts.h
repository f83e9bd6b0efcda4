#pragma once
#include "common/Seams.h"

#include <QStringList>

namespace varnelo::test {

// Records every prompt and answers as scripted.
class FakePrompts final : public Prompts {
public:
    struct Message {
        QString text;
        QString caption;
        PromptIcon icon;
    };
    QList<Message> messages;
    QStringList plainTexts;
    QString folderAnswer;
    QStringList folderCaptions;
    PromptAnswer answer = PromptAnswer::Ok;

    PromptAnswer message(const QString& text, const QString& caption, PromptIcon icon, PromptButtons) override {
        messages.append({text, caption, icon});
        return answer;
    }
    void plain(const QString& text) override { plainTexts << text; }
    QStringList openFiles(const QString&, const QString&, const QString&) override { return {}; }
    QString chooseFolder(const QString& caption, const QString&) override {
        folderCaptions << caption;
        return folderAnswer;
    }
};

} // namespace varnelo::test
