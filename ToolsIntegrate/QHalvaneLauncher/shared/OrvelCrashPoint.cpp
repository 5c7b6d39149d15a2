#include "OrvelCrashPoint.h"

#include <QByteArray>
#include <QtGlobal>

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace OrvelCrashPoint
{

namespace
{
struct Target
{
    QByteArray name;
    int nOccurrence = 1;
};

const Target& ConfiguredTarget()
{
    static const Target target = []
    {
        Target parsed;
        const QByteArray value = qgetenv("ORVEL_CRASH_AT");
        const int nColon = value.lastIndexOf(':');
        parsed.name = nColon < 0 ? value : value.left(nColon);
        if (nColon >= 0)
            parsed.nOccurrence = qMax(1, value.mid(nColon + 1).toInt());
        return parsed;
    }();
    return target;
}

std::atomic<int> g_nHits{0};
} // namespace

void Reached(const char* pszName)
{
    const Target& target = ConfiguredTarget();
    if (target.name.isEmpty() || std::strcmp(target.name.constData(), pszName) != 0)
        return;
    if (g_nHits.fetch_add(1) + 1 == target.nOccurrence)
        std::_Exit(137);
}

} // namespace OrvelCrashPoint
