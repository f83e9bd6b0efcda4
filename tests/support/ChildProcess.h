#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <sys/types.h>

namespace varnelo::test {

// A child program run with fork and exec, its output read through pipes.
// QProcess starts children with a vfork-like clone, which the thread sanitizer
// cannot follow (the child runs on the parent's memory and corrupts its view of
// the threads); plain fork it handles. Used on one thread.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess(); // kills a child still running
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    bool start(const QString &program, const QStringList &args, const QString &workingDirectory = QString());
    // Reads what arrives within ms; false once the child has ended and its output is read.
    bool poll(int ms);
    bool waitForFinished(int ms);
    void sendSignal(int signal);

    QByteArray standardOutput() const { return out_; }
    QByteArray standardError() const { return err_; }
    bool finished() const { return finished_; }
    bool exitedNormally() const { return normalExit_; }
    int exitCode() const { return exitCode_; }

private:
    pid_t pid_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    QByteArray out_;
    QByteArray err_;
    bool finished_ = false;
    bool normalExit_ = false;
    int exitCode_ = -1;
};

// Runs a tool to its end; returns its exit code, -1 when it could not run, was
// killed or took longer than ms.
int runTool(const QString &program, const QStringList &args, const QString &workingDirectory = QString(),
            int ms = 120000);

} // namespace varnelo::test
