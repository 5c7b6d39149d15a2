// SPDX-License-Identifier: MIT
#include "fs/PemStreamFileSysImpl.h"

#include "common/CorvaneCheck.h"
#include "fs/CorvaneFiles.h"
#include "fs/PemStreamHandleFile.h"

#include <cstring>
#include <new>

namespace NSCorvane
{

PemStreamFileSysImpl* PemStreamFileSysImpl::Create(const char* pcszRoot)
{
    const size_t uLen = pcszRoot ? std::strlen(pcszRoot) : 0;
    CORVANE_CHECK_NULL(uLen <= kMaxRootLength);
    PemStreamFileSysImpl* pFileSys = new (std::nothrow) PemStreamFileSysImpl;
    CORVANE_CHECK_NULL(pFileSys);
    if (uLen > 0)
    {
        std::memcpy(pFileSys->m_szRoot, pcszRoot, uLen);
    }
    pFileSys->m_szRoot[uLen] = '\0';
    return pFileSys;
}

void PemStreamFileSysImpl::Release()
{
    delete this;
}

bool PemStreamFileSysImpl::FullPath(const char* pcszPath, std::string& strOut) const
{
    try
    {
        // The composed path is never cut to a fixed buffer: a cut path would open
        // some other file.
        if (m_szRoot[0] && !std::strchr(pcszPath, ':') && pcszPath[0] != '/')
        {
            strOut.assign(m_szRoot).append("/").append(pcszPath);
        }
        else
        {
            strOut.assign(pcszPath);
        }
        return true;
    }
    catch (...)
    {
        return false;
    }
}

IFile* PemStreamFileSysImpl::Open(const char* pcszPath, int)
{
    CORVANE_CHECK_NULL(pcszPath && *pcszPath);
    std::string strFullPath;
    CORVANE_CHECK_NULL(FullPath(pcszPath, strFullPath));
    PemStreamHandleFile* pFile = new (std::nothrow) PemStreamHandleFile;
    CORVANE_CHECK_NULL(pFile);
    if (!pFile->Open(strFullPath.c_str()))
    {
        pFile->Release();
        return nullptr;
    }
    return pFile;
}

bool PemStreamFileSysImpl::Exists(const char* pcszPath, int)
{
    CORVANE_CHECK(pcszPath && *pcszPath);
    std::string strFullPath;
    CORVANE_CHECK(FullPath(pcszPath, strFullPath));
    return CorvaneUtil::SysExisted(strFullPath.c_str());
}

} // namespace NSCorvane
