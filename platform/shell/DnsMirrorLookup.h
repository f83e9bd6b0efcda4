#pragma once
#include "common/Seams.h"

namespace varnelo {

// Mirrors through the DNS: every address the name resolves to, each named by
// its reverse name (a certificate is issued for the name, not the address) and
// reached over https.
class DnsMirrorLookup final : public MirrorLookup {
public:
    // Longer than this the lookup ends with the servers found so far.
    explicit DnsMirrorLookup(int timeoutMs = 10000) : timeoutMs_(timeoutMs) {}
    void lookup(const QString &name, QObject *context, std::function<void(QStringList)> done) override;

private:
    int timeoutMs_;
};

} // namespace varnelo
