// SPDX-License-Identifier: MIT
#include "net/CorvaneRemoteSetup.h"

#include "common/CorvaneCheck.h"
#include "net/PemHttpDownloader.h"

#include <string>
#include <vector>

namespace NSCorvane
{

bool SetupFactoryByConfig(PemFileStreamFactory& factory, const PemConfig* pCfg, PemSourceHealth* pHealth)
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
    if (pHealth)
    {
        std::vector<std::string> vecUrl;
        for (const CorvaneRemoteInfo& info : pCfg->Remotes())
        {
            vecUrl.push_back(info.strUrl);
        }
        pHealth->SetSources(vecUrl);
    }
    size_t uIndex = 0;
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
        pDownloader->SetSourceHealth(pHealth, uIndex++);
        CORVANE_CHECK(factory.AddDownloader(pDownloader, pDownloader));
    }
    return true;
}

} // namespace NSCorvane
