// SPDX-License-Identifier: MIT
#include "net/CorvaneRemoteSetup.h"

#include "common/CorvaneCheck.h"
#include "net/PemHttpDownloader.h"

namespace NSCorvane
{

bool SetupFactoryByConfig(PemFileStreamFactory& factory, const PemConfig* pCfg)
{
    CORVANE_CHECK(pCfg);
    if (pCfg->IsLocalEnabled())
    {
        CORVANE_CHECK(factory.SetupByRootDir(pCfg->GetLocalDir()));
    }
    if (!pCfg->IsRemoteEnabled())
    {
        return true;
    }
    for (const CorvaneRemoteInfo& info : pCfg->Remotes())
    {
        PemHttpDownloader* pDownloader = PemHttpDownloader::Create();
        CORVANE_CHECK(pDownloader);
        if (!pDownloader->InitlizeUrl(info))
        {
            pDownloader->Release();
            CORVANE_REPORT("pDownloader->InitlizeUrl(info)");
            return false;
        }
        CORVANE_CHECK(factory.AddDownloader(pDownloader, pDownloader));
    }
    return true;
}

} // namespace NSCorvane
