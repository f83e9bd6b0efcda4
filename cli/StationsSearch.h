#pragma once
#include "common/DataFolder.h"

#include <QStringList>

namespace varnelo::cli {

// `stations search TEXT [--tag T] [--country CC] [--limit N] [--server URL] [--add]`:
// the community station directory, one station a line; --add saves them.
int stationsSearch(const DataFolder &folder, const QStringList &args);

} // namespace varnelo::cli
