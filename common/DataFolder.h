#pragma once
#include <QString>

namespace varnelo {

// The folder that holds every data file: "record/" beside the executable
// unless the caller names another (tests, --data-folder). Held with a trailing
// separator so file names can be appended directly.
class DataFolder {
public:
    DataFolder() = default;
    explicit DataFolder(const QString &folder);
    static DataFolder besideExecutable();

    const QString &path() const { return path_; }
    QString file(const QString &name) const { return path_ + name; }
    // Creates the folder; a failure is not reported (later file steps fail on their own).
    void create() const;
    bool isEmpty() const { return path_.isEmpty(); }

private:
    QString path_;
};

} // namespace varnelo
