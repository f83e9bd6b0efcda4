#include "WindowFixture.h"
#include "common/SettingsFile.h"
#include "options/OptionsDialog.h"
#include "support/Files.h"

#include <QComboBox>

namespace varnelo::test {
namespace {

using SettingsWindowTest = WindowTest;

// OK with a disk that takes nothing: the window names the file and the reason,
// the file stays as it was and the dialog stays open.
TEST_F(SettingsWindowTest, AFailedWriteOnOkIsShownAndLeavesTheFile) {
    const QString ini = dir.filePath(QStringLiteral("temp.ini"));
    writeBytes(ini, "[wma]\r\nformat=3\r\n");
    auto w = startWindow();
    w->settings.setByteWriter([](QIODevice &, const QByteArray &, QString &reason) {
        reason = QStringLiteral("No space left on device");
        return false;
    });
    OptionsDialog &options = *w->options();
    options.show();
    options.findChild<QComboBox *>(QStringLiteral("cb_wma"))->setCurrentIndex(12);
    prompts.shown.clear();
    options.OkClick();
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_TRUE(prompts.shown[0].text.contains(QStringLiteral("temp.ini: No space left on device")))
        << prompts.shown[0].text.toStdString();
    EXPECT_EQ(readBytes(ini), QByteArray("[wma]\r\nformat=3\r\n"));
    EXPECT_TRUE(options.isVisible());
}

// A damaged file is kept aside before anything is written, said once, and the
// next OK starts a fresh file.
TEST_F(SettingsWindowTest, ADamagedFileIsKeptAsideAndSaidOnce) {
    const QString ini = dir.filePath(QStringLiteral("temp.ini"));
    const QByteArray damaged("[wma]\r\nformat=3\0\0\0", 19);
    writeBytes(ini, damaged);
    auto w = startWindow();
    EXPECT_EQ(readBytes(ini + QStringLiteral(".damaged")), damaged);
    const auto saidOnce = [&] {
        return std::count_if(prompts.shown.begin(), prompts.shown.end(), [](const auto &m) {
                   return m.text.contains(QLatin1String("temp.ini.damaged"));
               }) == 1;
    };
    EXPECT_TRUE(saidOnce());
    w->options()->show();
    w->options()->OkClick();
    EXPECT_TRUE(readBytes(ini).contains("[wma]\r\nformat=46\r\n"));
    EXPECT_EQ(readBytes(ini + QStringLiteral(".damaged")), damaged);
    EXPECT_TRUE(saidOnce());
}

} // namespace
} // namespace varnelo::test
