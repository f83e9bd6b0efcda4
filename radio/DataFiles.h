#pragma once
#include "common/DataFolder.h"

#include <QStringList>

namespace varnelo {

// The data files start-up creates empty when they are missing, in this order.
QStringList StartupDataFiles();
// Creates the folder and every missing data file (zero bytes). Tree files that
// exist are left for the caller to load. Returns the files that were created.
QStringList CreateMissingDataFiles(const DataFolder &folder);

} // namespace varnelo
