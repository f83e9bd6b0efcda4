#pragma once
#include <QString>

namespace varnelo {

// One running copy per user: a new copy ends the copy named in the lock file
// (after checking that process really is a varnelo) and takes the file over.
class SingleInstance {
public:
    // The lock file: "varnelo.pid" in the user's runtime folder unless given.
    explicit SingleInstance(QString lockPath = {});
    // Ends the older copy, if one runs, and records this process. Returns the
    // PID that was ended, or 0.
    qint64 takeOver();
    // Removes the lock file when it still names this process.
    void release();
    const QString &lockPath() const { return path_; }

    static bool isVarneloProcess(qint64 pid);

private:
    QString path_;
};

} // namespace varnelo
