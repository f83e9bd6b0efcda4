#include "support/ChildProcess.h"

#include <QElapsedTimer>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace varnelo::test {

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !finished_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    if (outFd_ >= 0)
        ::close(outFd_);
    if (errFd_ >= 0)
        ::close(errFd_);
}

bool ChildProcess::start(const QString &program, const QStringList &args, const QString &workingDirectory) {
    // Everything the child needs is made before the fork: it only calls async-signal-safe functions.
    std::vector<std::string> strings{program.toStdString()};
    for (const QString &arg : args)
        strings.push_back(arg.toStdString());
    std::vector<char *> argv;
    for (std::string &s : strings)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    const std::string folder = workingDirectory.toStdString();

    int outPipe[2];
    int errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0)
        return false;
    if (::pipe2(errPipe, O_CLOEXEC) != 0) {
        ::close(outPipe[0]);
        ::close(outPipe[1]);
        return false;
    }
    pid_ = ::fork();
    if (pid_ == 0) {
        const int devNull = ::open("/dev/null", O_RDONLY);
        ::dup2(devNull, 0);
        ::dup2(outPipe[1], 1);
        ::dup2(errPipe[1], 2);
        if (!folder.empty() && ::chdir(folder.c_str()) != 0)
            ::_exit(127);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    outFd_ = outPipe[0];
    errFd_ = errPipe[0];
    if (pid_ < 0) {
        finished_ = true;
        return false;
    }
    return true;
}

bool ChildProcess::poll(int ms) {
    if (pid_ < 0)
        return false;
    pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
    const int ready = ::poll(fds, 2, ms);
    for (int i = 0; ready > 0 && i < 2; ++i) {
        if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP)))
            continue;
        char buffer[4096];
        const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
        if (n > 0) {
            (i == 0 ? out_ : err_).append(buffer, n);
        } else if (n == 0 || errno != EINTR) {
            ::close(fds[i].fd);
            (i == 0 ? outFd_ : errFd_) = -1;
        }
    }
    if (!finished_) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            finished_ = true;
            normalExit_ = WIFEXITED(status);
            exitCode_ = normalExit_ ? WEXITSTATUS(status) : -1;
        }
    }
    return !(finished_ && outFd_ < 0 && errFd_ < 0);
}

bool ChildProcess::waitForFinished(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (poll(20)) {
        if (clock.elapsed() > ms)
            return false;
        if (outFd_ < 0 && errFd_ < 0 && !finished_)
            ::usleep(10000);
    }
    return finished_;
}

void ChildProcess::sendSignal(int signal) {
    if (pid_ > 0 && !finished_)
        ::kill(pid_, signal);
}

int runTool(const QString &program, const QStringList &args, const QString &workingDirectory, int ms) {
    ChildProcess child;
    if (!child.start(program, args, workingDirectory) || !child.waitForFinished(ms))
        return -1;
    return child.exitedNormally() ? child.exitCode() : -1;
}

} // namespace varnelo::test
