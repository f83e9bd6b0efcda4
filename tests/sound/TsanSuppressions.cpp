// Qt Multimedia's device list starts libpulse's own thread, which synchronises
// through libpulse's uninstrumented atomics; ThreadSanitizer cannot see those
// and reports their mutex set-up as a race. Only read by ThreadSanitizer builds.
extern "C" const char *__tsan_default_suppressions() {
    return "race:libpulsecommon-16.1.so\nrace:libpulse.so.0\n";
}
