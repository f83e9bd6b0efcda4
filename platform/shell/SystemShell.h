#pragma once
#include "common/Seams.h"

namespace varnelo {

// The desktop's services: file manager through xdg-open, power-off through
// systemd-logind, reachability by a short TCP connect.
class SystemShell final : public DesktopShell {
public:
    void openFolder(const QString &path) override;
    void beep() override;
    bool powerOff() override;
    bool networkReachable() override;
    // Runs update-desktop-database on the folder (a missing tool changes nothing).
    void associationsChanged(const QString &applicationsFolder) override;
};

} // namespace varnelo
