// SPDX-License-Identifier: MIT
// The exported entry points of signed stores. No exception may cross the
// library boundary.
#include <Corvane/PemCorvaneX64.h>

#include "builder/StoreSigner.h"
#include "common/CorvaneFailure.h"
#include "common/CorvaneLog.h"
#include "reader/PemCorvaneReader.h"
#include "trust/CorvaneTrust.h"

#include <cstdio>
#include <exception>
#include <new>
#include <sstream>

using namespace NSCorvane;

namespace
{

template <typename Fn> bool GuardedTrust(const char* pcszWhere, Fn&& fn)
{
    try
    {
        return fn();
    }
    catch (const std::exception& e)
    {
        CorvaneUtil::WriteLogLine((std::string(pcszWhere) + ": unexpected exception: " + e.what()).c_str());
    }
    catch (...)
    {
        CorvaneUtil::WriteLogLine((std::string(pcszWhere) + ": unexpected exception: unknown").c_str());
    }
    return false;
}

bool Fail(const std::string& strText)
{
    CorvaneUtil::NoteFailureText(strText);
    return false;
}

} // namespace

extern "C"
{

    CORVANE_API bool g_CreateCorvaneKey(const char* pcszKeyFile, char* pszKeyId, uint32_t uSize)
    {
        return GuardedTrust("g_CreateCorvaneKey",
                            [&]
                            {
                                if (!pcszKeyFile || !*pcszKeyFile)
                                {
                                    return false;
                                }
                                NSCorvaneTrust::PublicKey key;
                                std::string strError;
                                if (!NSCorvaneTrust::WriteNewKeyPair(pcszKeyFile, key, strError))
                                {
                                    return Fail(strError);
                                }
                                if (pszKeyId && uSize)
                                {
                                    std::snprintf(pszKeyId, uSize, "%s",
                                                  NSCorvaneTrust::KeyIdText(key.id).c_str());
                                }
                                return true;
                            });
    }

    CORVANE_API bool g_SignCorvaneVersion(const char* pcszStoreDir, uint32_t uVersion,
                                          const char* pcszKeyFile, uint32_t uExpireDays,
                                          uint32_t uLastVerDays)
    {
        return GuardedTrust(
            "g_SignCorvaneVersion",
            [&]
            {
                if (!pcszStoreDir || !*pcszStoreDir || !pcszKeyFile || !*pcszKeyFile || uExpireDays == 0 ||
                    uLastVerDays == 0)
                {
                    return false;
                }
                NSCorvaneTrust::SignOptions options;
                options.uVersion = uVersion;
                options.uExpireDays = uExpireDays;
                options.uLastVerDays = uLastVerDays;
                std::string strError;
                if (!NSCorvaneTrust::SignStoreVersion(pcszStoreDir, pcszKeyFile, options, strError))
                {
                    return Fail(strError);
                }
                return true;
            });
    }

    CORVANE_API bool g_NewCorvaneReaderTrusted(IPemCorvaneReader** ppReader, const char* pcszSource,
                                               uint32_t uVersion, const char* pcszTrustedKeys,
                                               uint32_t uFlags)
    {
        return GuardedTrust("g_NewCorvaneReaderTrusted",
                            [&]
                            {
                                if (!ppReader || !pcszSource || (uFlags & ~CORVANE_TRUST_BY_CONFIG) != 0)
                                {
                                    return false;
                                }
                                std::vector<std::string> vecKeys;
                                std::istringstream stream(pcszTrustedKeys ? pcszTrustedKeys : "");
                                for (std::string strLine; std::getline(stream, strLine);)
                                {
                                    if (strLine.find_first_not_of(" \t\r") != std::string::npos)
                                    {
                                        vecKeys.push_back(strLine);
                                    }
                                }
                                const bool bConfig = (uFlags & CORVANE_TRUST_BY_CONFIG) != 0;
                                auto* pReader =
                                    new (std::nothrow) PemCorvaneReader(bConfig ? 0 : SHO_LocalOnly);
                                if (!pReader)
                                {
                                    return false;
                                }
                                const bool bSetUp = pReader->AddConfiguredKeys(vecKeys) &&
                                                    (bConfig ? pReader->SetupByConfig(pcszSource, uVersion)
                                                             : pReader->SetupByDir(pcszSource, uVersion));
                                if (!bSetUp)
                                {
                                    pReader->Release();
                                    return false;
                                }
                                *ppReader = pReader;
                                return true;
                            });
    }

    CORVANE_API bool g_GetCorvaneTrustState(IPemCorvaneReader* piReader, CORVANE_TRUST_STATE* pState)
    {
        return GuardedTrust("g_GetCorvaneTrustState",
                            [&]
                            {
                                auto* pReader = dynamic_cast<PemCorvaneReader*>(piReader);
                                if (!pReader || !pState || pState->uStructSize != sizeof(CORVANE_TRUST_STATE))
                                {
                                    return false;
                                }
                                CORVANE_TRUST_STATE state;
                                if (const NSCorvaneTrust::SignedRecord* pManifest =
                                        pReader->TrustedManifest())
                                {
                                    state.uVerified = 1;
                                    state.nSigned = pManifest->nSigned;
                                    state.nExpires = pManifest->nExpires;
                                    std::snprintf(state.szKeyId, sizeof(state.szKeyId), "%s",
                                                  NSCorvaneTrust::KeyIdText(pManifest->keyId).c_str());
                                }
                                *pState = state;
                                return true;
                            });
    }

} // extern "C"
