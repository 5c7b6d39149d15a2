// File names of the deliverables as they are deployed on this platform. The
// self-update compares store paths against these, so they live in one place.
#pragma once

#include <QString>

namespace OrvelPlatform
{

#ifdef _WIN32
inline constexpr const char kLauncherFileName[] = "QHalvaneLauncher.exe";
inline constexpr const char kUpdaterFileName[] = "orvelupdater.exe";
inline constexpr const char kLibraryFileName[] = "PemCorvaneX64.dll";
// The editor the launcher starts, under the working path.
inline constexpr const char kEditorRelativePath[] = "editortool/qhalvaneeditor/QHalvaneEditorX64.exe";
#else
inline constexpr const char kLauncherFileName[] = "QHalvaneLauncher";
inline constexpr const char kUpdaterFileName[] = "orvelupdater";
inline constexpr const char kLibraryFileName[] = "libPemCorvaneX64.so";
// Store names are lower case, and so are the working path's files here.
inline constexpr const char kEditorRelativePath[] = "editortool/qhalvaneeditor/qhalvaneeditorx64";
#endif

// The name a launcher file takes in the application directory when the store
// spells it in lower case: the three deliverables keep the names they are
// built with; any other name is returned unchanged.
inline QString DeployedFileName(const QString& strStoreName)
{
    for (const char* pszName : {kLauncherFileName, kUpdaterFileName, kLibraryFileName})
    {
        if (strStoreName.compare(QLatin1String(pszName), Qt::CaseInsensitive) == 0)
            return QLatin1String(pszName);
    }
    return strStoreName;
}

// Whether a file newly created at this relative path must be executable to
// work: the launcher, the updater and shared libraries. Names are matched
// without regard to case, as the store spells them in lower case.
inline bool NeedsExecutableMode(const QString& strRelativePath)
{
#ifdef _WIN32
    Q_UNUSED(strRelativePath);
    return false; // no such bit
#else
    const QString strName = strRelativePath.mid(strRelativePath.lastIndexOf(QLatin1Char('/')) + 1);
    return strName.compare(QLatin1String(kLauncherFileName), Qt::CaseInsensitive) == 0 ||
           strName.compare(QLatin1String(kUpdaterFileName), Qt::CaseInsensitive) == 0 ||
           strName.endsWith(QLatin1String(".so")) || strName.contains(QLatin1String(".so."));
#endif
}

} // namespace OrvelPlatform
