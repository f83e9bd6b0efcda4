#include <QApplication>
#include <gtest/gtest.h>

// Every test executable runs with a QApplication on the offscreen platform, so
// widgets, timers and queued signals work as in the program.
int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
