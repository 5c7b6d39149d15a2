// Keys of the launcher's INI files that live in the "General" group. Qt writes
// such a group as "[%General]" (a plain "[General]" holds its keys without a
// group), so a hand-written "[General]" file would be ignored. Reads accept both;
// the "%General" key wins when both exist. Writes stay what Qt writes.
#pragma once

#include <QString>
#include <QVariant>

class QSettings;

namespace LauncherIni
{
// strKey is the key inside the group, e.g. "WorkPath".
bool Contains(const QSettings& settings, const QString& strKey);
QVariant Value(const QSettings& settings, const QString& strKey, const QVariant& defaultValue = QVariant());
void SetValue(QSettings& settings, const QString& strKey, const QVariant& value);
// Removes the key from both spellings of the group.
void Remove(QSettings& settings, const QString& strKey);
} // namespace LauncherIni
