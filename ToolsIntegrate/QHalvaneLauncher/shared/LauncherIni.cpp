#include "LauncherIni.h"

#include <QSettings>

namespace LauncherIni
{

namespace
{
QString Grouped(const QString& strKey)
{
    return QStringLiteral("General/") + strKey;
}
} // namespace

bool Contains(const QSettings& settings, const QString& strKey)
{
    return settings.contains(Grouped(strKey)) || settings.contains(strKey);
}

QVariant Value(const QSettings& settings, const QString& strKey, const QVariant& defaultValue)
{
    if (settings.contains(Grouped(strKey)))
        return settings.value(Grouped(strKey));
    return settings.value(strKey, defaultValue);
}

void SetValue(QSettings& settings, const QString& strKey, const QVariant& value)
{
    settings.setValue(Grouped(strKey), value);
}

void Remove(QSettings& settings, const QString& strKey)
{
    settings.remove(Grouped(strKey));
    settings.remove(strKey);
}

} // namespace LauncherIni
