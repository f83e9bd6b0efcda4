// Qt's own threads (the network access manager's among them), mutexes (futex
// based) and queued events are not built for ThreadSanitizer, so it cannot see
// the ordering they give; GLib's event loop under Qt likewise. Races with such
// a frame are hidden; races between our own frames (the grabber's reader and
// encoder threads) are still reported. Only read by ThreadSanitizer builds.
extern "C" const char *__tsan_default_suppressions() {
    return "race:libQt6Core.so.6\nrace:libQt6Gui.so.6\nrace:libQt6Widgets.so.6\nrace:libQt6Network.so.6\n"
           "race:libglib-2.0.so.0\n";
}
