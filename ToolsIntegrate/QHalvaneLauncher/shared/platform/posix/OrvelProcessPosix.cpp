#include "platform/OrvelProcess.h"

#include <cstdio>
#include <cstring>

namespace OrvelPlatform
{

bool IsProcessRunning(quint32 uPid)
{
    if (uPid == 0)
        return false;

    char szPath[64];
    std::snprintf(szPath, sizeof(szPath), "/proc/%u/stat", uPid);
    FILE* pFile = std::fopen(szPath, "re");
    if (pFile == nullptr)
        return false;

    char szStat[512];
    const size_t uRead = std::fread(szStat, 1, sizeof(szStat) - 1, pFile);
    std::fclose(pFile);
    szStat[uRead] = '\0';

    // The state letter follows the command name, which may itself hold ')'.
    const char* pszEnd = std::strrchr(szStat, ')');
    if (pszEnd == nullptr || pszEnd[1] == '\0' || pszEnd[2] == '\0')
        return true;
    const char cState = pszEnd[2];
    return cState != 'Z' && cState != 'X';
}

} // namespace OrvelPlatform
