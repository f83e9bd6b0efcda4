// Under ThreadSanitizer: the tests start ffmpeg, openssl and varnelo-cli with a
// plain fork from this multi-threaded process; the child only execs.
extern "C" __attribute__((used)) const char *__tsan_default_options() {
    return "die_after_fork=0";
}
