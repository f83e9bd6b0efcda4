#pragma once
#include "common/DataFolder.h"

#include <QString>

namespace varnelo {

// Where the program keeps its files. A copy run from its build or unpacked
// folder keeps them as it always has: the data folder "record/" beside the
// executable and the settings file "temp.ini" in the working folder. An
// installed copy keeps them per user, since its folder belongs to the system
// (or holds nothing but programs): $XDG_DATA_HOME/varnelo/record/ and
// $XDG_CONFIG_HOME/varnelo/temp.ini. Both programs (the window and
// varnelo-cli) sit side by side and so find the same files.
struct ProgramFiles {
    DataFolder dataFolder;
    QString settingsPath;
    bool perUser = false;

    // For the executable in `exeDir`. Installed means: the executable's folder
    // is the bin folder of a prefix holding this program's AppStream file, or
    // a folder the user cannot write. A "record" folder already beside the
    // executable is always used, so a copy keeps the data it has.
    static ProgramFiles forExecutableIn(const QString &exeDir);
    // For the running program.
    static ProgramFiles current();
};

} // namespace varnelo
