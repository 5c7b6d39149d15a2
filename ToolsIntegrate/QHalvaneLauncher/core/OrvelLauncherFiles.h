// Where the launcher files the store publishes under its launcher directory
// lie in the launcher's own directory. The store spells every name in lower
// case; the installation keeps the names it was built with, so each component
// is matched without regard to ASCII case and the deliverables get their
// deployed names.
#pragma once

#include <QString>

namespace OrvelLauncherFiles
{

// The updater, under the name the store or this platform gives it: it is
// refreshed on its own and never compared or packed.
bool IsUpdaterName(const QString& strFileName);

struct Mapping
{
    bool bOk = false;
    QString strRelative; // relative to the application directory, "/" separators
    QString strLocal;    // absolute
    QString strError;
};

// strRelative: the store path's part below the launcher directory. Refused
// (bOk false, strError set) when it is not a plain relative path or would land
// outside strAppDir, also through a linked directory.
Mapping Map(const QString& strAppDir, const QString& strStorePath, const QString& strRelative);

} // namespace OrvelLauncherFiles
