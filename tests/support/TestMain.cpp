#include <QApplication>
#include <gtest/gtest.h>

// Only read by ThreadSanitizer builds. Qt's, GLib's, libdbus's and libpulse's own threads,
// futex-based mutexes and queued events are not built for it, so it cannot see
// the ordering they give (a queued call's slot object is released by whichever
// thread drops the last reference). Races with one of their frames are hidden;
// races between our own frames are still reported. Here, with main, so that
// every test program has it.
extern "C" const char *__tsan_default_suppressions() {
    return "race:libQt6Core.so.6\n"
           "race:libQt6Gui.so.6\n"
           "race:libQt6Widgets.so.6\n"
           "race:libQt6Network.so.6\n"
           "race:libQt6DBus.so.6\n"
           "race:libdbus-1.so.3\n"
           "race:libglib-2.0.so.0\n"
           "race:libpulsecommon-16.1.so\n"
           "race:libpulse.so.0\n";
}

// Every test executable runs with a QApplication on the offscreen platform, so
// widgets, timers and queued signals work as in the program.
int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
