// The INI settings file (temp.ini): reading every key the file names with
// every reader, then writing, erasing and storing again.
#include "FuzzSupport.h"
#include "common/SettingsFile.h"

#include <QStringList>

using namespace varnelo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::quietQt();
    const QByteArray bytes = fuzz::bytesOf(data, size);
    // A path in a folder that does not exist: nothing is committed, nothing reaches a disk.
    SettingsFile settings(QStringLiteral("/nonexistent-varnelo-fuzz/temp.ini"));
    settings.parse(bytes);

    // The section and key names the text seems to hold, found crudely: the
    // parser decides what they really are.
    QString section;
    QStringList pairs;
    for (const QString &row : QString::fromUtf8(bytes).split(QLatin1Char('\n'))) {
        const QString t = row.trimmed();
        if (t.startsWith(QLatin1Char('[')))
            section = t.mid(1).chopped(t.endsWith(QLatin1Char(']')) ? 1 : 0);
        else if (const qsizetype eq = t.indexOf(QLatin1Char('=')); eq >= 0)
            pairs << section << t.left(eq);
        if (pairs.size() >= 32)
            break;
    }
    for (qsizetype i = 0; i + 1 < pairs.size(); i += 2) {
        const QString &s = pairs[i];
        const QString &k = pairs[i + 1];
        // A key that is there reads the same whatever the default; one that is not gives the default.
        const QString a = settings.readString(s, k, QStringLiteral("a"));
        const QString b = settings.readString(s, k, QStringLiteral("b"));
        FUZZ_CHECK(settings.hasKey(s, k) ? a == b : a == QLatin1String("a") && b == QLatin1String("b"));
        settings.readInteger(s, k, -1);
        settings.readBool(s, k, false);
        if (i < 8) { // the locale's time and date parsers are slow: a few keys are enough
            settings.readTime(s, k, QTime());
            settings.readDate(s, k, QDate());
        }
    }

    // What is stored reads back the same, and stays the same when stored again.
    const QByteArray stored = settings.toBytes();
    SettingsFile again;
    again.parse(stored);
    FUZZ_CHECK(again.toBytes() == stored);
    for (qsizetype i = 0; i + 1 < pairs.size(); i += 2)
        FUZZ_CHECK(again.readString(pairs[i], pairs[i + 1], QStringLiteral("\x01")) ==
                   settings.readString(pairs[i], pairs[i + 1], QStringLiteral("\x01")));

    // A written value reads back as written, whatever surrounds it.
    const QString section0 = pairs.isEmpty() ? QStringLiteral("Fuzz") : pairs[0].trimmed();
    const QString key0 = pairs.size() < 2 ? QStringLiteral("Key") : pairs[1].trimmed();
    if (!section0.isEmpty() && !key0.isEmpty() && !section0.contains(QLatin1Char(']')) &&
        !key0.contains(QLatin1Char('=')) && !key0.startsWith(QLatin1Char(';')) &&
        !key0.startsWith(QLatin1Char('['))) {
        settings.writeInteger(section0, key0, 42);
        FUZZ_CHECK(settings.readInteger(section0, key0, -1) == 42);
        SettingsFile reread;
        reread.parse(settings.toBytes());
        FUZZ_CHECK(reread.readInteger(section0, key0, -1) == 42);
        // Erasing takes that one line away.
        settings.eraseKey(section0, key0);
        FUZZ_CHECK(settings.toBytes().size() < reread.toBytes().size());
    }
    return 0;
}
