// The FLAC and Opus pages: what the file holds shows, what the controls hold is saved.
#include "common/AppState.h"
#include "common/SettingsFile.h"
#include "options/OptionsDialog.h"
#include "support/Fakes.h"

#include <QComboBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace varnelo {
namespace {

struct Control {
    const char *section, *key, *widget;
    int dialogDefault;
};
const Control kControls[] = {{"flac", "bits", "cb_flac_bits", 0},
                             {"flac", "level", "ud_flac_level", 5},
                             {"opus", "bitrate", "ud_opus_bitrate", 128},
                             {"opus", "mode", "cb_opus_mode", 0},
                             {"opus", "complexity", "ud_opus_complexity", 10}};

int shown(const QDialog &dialog, const char *name) {
    if (auto *box = dialog.findChild<QComboBox *>(QLatin1String(name)))
        return box->currentIndex();
    return dialog.findChild<QSpinBox *>(QLatin1String(name))->value();
}

TEST(CodecPagesTest, LoadSaveAndDefaults) {
    QTemporaryDir dir;
    SettingsFile settings(dir.filePath(QStringLiteral("temp.ini")));
    AppState state;
    test::FakePrompts prompts;
    OptionsDialog dialog(settings, state, prompts);
    // Values the controls hold, then values they cannot show (which take the defaults).
    for (const auto &values : {std::array{2, 8, 96, 2, 3}, std::array{7, 9, 600, -1, 11}}) {
        for (std::size_t i = 0; i < values.size(); ++i)
            settings.writeInteger(QLatin1String(kControls[i].section), QLatin1String(kControls[i].key),
                                  values[i]);
        dialog.LoadOptions();
        const bool fits = values[0] == 2;
        for (std::size_t i = 0; i < values.size(); ++i)
            EXPECT_EQ(shown(dialog, kControls[i].widget), fits ? values[i] : kControls[i].dialogDefault)
                << kControls[i].widget;
    }
    dialog.findChild<QComboBox *>(QStringLiteral("cb_opus_mode"))->setCurrentIndex(1);
    dialog.SaveOptions();
    EXPECT_EQ(settings.readInteger(QStringLiteral("opus"), QStringLiteral("mode"), -9), 1);
    EXPECT_EQ(settings.readInteger(QStringLiteral("opus"), QStringLiteral("bitrate"), -9), 128);
    dialog.findChild<QPushButton *>(QStringLiteral("Button2"))->click();
    EXPECT_EQ(shown(dialog, "cb_opus_mode"), 0);
}

} // namespace
} // namespace varnelo
