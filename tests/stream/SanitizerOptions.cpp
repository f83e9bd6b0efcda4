// Under ThreadSanitizer: the tests start the ffmpeg and openssl tools (QProcess
// forks this multi-threaded process and execs at once), which is safe here.
extern "C" __attribute__((used)) const char* __tsan_default_options() {
    return "die_after_fork=0";
}
