// Durable file replacement: the parts of an atomic write that depend on the OS.
#pragma once

#include <QString>

class QFileDevice;

namespace OrvelPlatform
{

// Pushes Qt's buffer and the OS cache of an open file to the disk.
bool FlushFile(QFileDevice& file);

// Makes the entries of a directory (names created, renamed or removed in it)
// durable. Returns false when the directory cannot be opened or synced.
bool FlushDirectory(const QString& strDir);

// Moves strFrom over strTo in one step (the target is replaced if it exists) and
// makes the rename durable. On failure strTo is unchanged and *pstrError holds
// the system's reason.
bool ReplaceFile(const QString& strFrom, const QString& strTo, QString* pstrError);

} // namespace OrvelPlatform
