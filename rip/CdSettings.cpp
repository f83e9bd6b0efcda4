#include "rip/CdSettings.h"

#include "common/SettingsFile.h"
#include "common/SettingsKeys.h"
#include "convert/EncoderSetup.h"

#include <QDir>
#include <QSysInfo>

namespace varnelo {

cd::LookupSettings ReadLookupSettings(const SettingsFile &file, const QString &dataFolder) {
    using namespace keys;
    cd::LookupSettings s;
    const int source = read(file, FreedbToServer);
    s.source = source == 0   ? cd::LookupSettings::Source::Any
               : source == 2 ? cd::LookupSettings::Source::LocalFile
                             : cd::LookupSettings::Source::CddbOnly;
    const QStringList sites = freedbSiteItems();
    const int site = read(file, FreedbSite);
    const QString host = sites.value(site, sites.value(0));
    s.cddbServer = cd::cddbServerUrl(host, read(file, FreedbPort));
    bool ok = false;
    const int timeout = read(file, FreedbTimeout).toInt(&ok);
    s.timeoutMs = ok && timeout > 0 ? timeout : QString(FreedbTimeout.def).toInt();
    s.proxy = read(file, FreedbProxy, QString());
    s.localFile = QDir(dataFolder).filePath(QStringLiteral("CDFreeDB.ini"));
    s.cacheFolder = QDir(dataFolder).filePath(QStringLiteral("albums"));
    s.user = QString::fromLocal8Bit(qgetenv("USER"));
    s.host = QSysInfo::machineHostName();
    return s;
}

cd::ReadMode ReadGrabSettings(const EncoderSettingsSource &settings) {
    cd::ReadMode mode;
    mode.grabMode = settings.readInteger(keys::GrabModeKey);
    mode.retries = settings.readInteger(keys::GrabRetries);
    mode.errorAction = settings.readInteger(keys::GrabStop);
    mode.secure = settings.readBool(keys::SecureCopyKey);
    mode.overread = settings.readBool(keys::OverreadKey);
    return mode;
}

} // namespace varnelo
