// Only in ThreadSanitizer builds. Qt's and GLib's own threads, atomics and queued events
// are not built for it, so it cannot see the ordering they give (a queued
// call's slot object is released by whichever thread drops the last
// reference). Races with a Qt frame are hidden; races between our own frames
// are still reported.
#if defined(__SANITIZE_THREAD__)
extern "C" const char *__tsan_default_suppressions() {
    return "race:libQt6Core.so.6\nrace:libQt6Gui.so.6\nrace:libQt6Network.so.6\nrace:libglib-2.0.so.0\n"
           "race:libpulsecommon-16.1.so\nrace:libpulse.so.0\n";
}
#endif
