// Temporary files a killed writer left in a tree it was writing into.
#pragma once

#include <QString>
#include <QStringList>

namespace OrvelLeftoverTemps
{

// Removes every temporary file of an atomic write below strRoot whose writer
// is no longer running (or is this process); symbolic links are neither
// followed nor removed. Returns the paths removed.
QStringList Remove(const QString& strRoot);
// The same for the temporary files of one target only, beside it.
QStringList RemoveBeside(const QString& strTarget);

} // namespace OrvelLeftoverTemps
