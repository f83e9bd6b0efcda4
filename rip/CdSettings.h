#pragma once
#include "platform/cd/FreeDBInformation.h"
#include "platform/cd/SectorReader.h"

#include <QString>

namespace varnelo {

class EncoderSettingsSource;
class SettingsFile;

// The "Free DB" tab's keys as the lookup uses them: the mirror (or an
// address typed in its place) with the port, the time-out, the proxy and the
// source; "CDFreeDB.ini" in the data folder for the local source.
cd::LookupSettings ReadLookupSettings(const SettingsFile &file, const QString &dataFolder);

// The "CD setting" tab's keys.
cd::ReadMode ReadGrabSettings(const EncoderSettingsSource &settings);

} // namespace varnelo
