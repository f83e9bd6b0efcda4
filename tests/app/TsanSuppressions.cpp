// Qt's own threads, mutexes (futex based) and queued events are not built for
// ThreadSanitizer, so it cannot see the ordering they give. Races with a Qt
// frame are hidden; races between our own frames are still reported. Only read
// by ThreadSanitizer builds.
extern "C" const char *__tsan_default_suppressions() {
    return "race:libQt6Core.so.6\nrace:libQt6Gui.so.6\nrace:libQt6Widgets.so.6\n"
           "race:libpulsecommon-16.1.so\nrace:libpulse.so.0\n";
}
