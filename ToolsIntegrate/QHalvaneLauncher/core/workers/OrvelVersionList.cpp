#include "workers/OrvelVersionList.h"

#include "OrvelFileService.h"

#include <memory>

OrvelVersionList ListSwitchableVersions(OrvelFileService* pService)
{
    OrvelVersionList list;
    if (pService == nullptr || !pService->IsReady())
        return list;
    list.uCurrentVersion = pService->CurrentVersion();

    quint32 uTop = list.uCurrentVersion;
    QString strError;
    if (std::unique_ptr<OrvelFileService> pLatest =
            pService->CreateVersionBoundService(OrvelFileService::kLatestVersion, &strError))
    {
        uTop = pLatest->CurrentVersion();
    }
    const auto addVersion = [&](quint32 uVersion)
    {
        std::unique_ptr<OrvelFileService> pVersion = pService->CreateVersionBoundService(uVersion, &strError);
        if (!pVersion)
            return;
        const PakInfoResult info = pVersion->ReadPakInfo();
        if (info.status != PakInfoResult::StatusOk)
            return;
        if (uVersion == list.uCurrentVersion)
            list.nCurrentIndex = list.vecVersions.size();
        list.vecVersions.push_back({uVersion, info.tag, info.releaseText});
    };
    for (quint32 uVersion = uTop; uVersion > 0; --uVersion)
        addVersion(uVersion);
    addVersion(0);
    return list;
}
