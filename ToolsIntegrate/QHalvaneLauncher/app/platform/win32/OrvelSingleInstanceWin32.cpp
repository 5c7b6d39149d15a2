#include "platform/OrvelSingleInstance.h"

#include <windows.h>

struct OrvelSingleInstance::Handle
{
    HANDLE hMapping = nullptr;
};

OrvelSingleInstance::OrvelSingleInstance(const QString& strKey) : m_strKey(strKey) {}

OrvelSingleInstance::~OrvelSingleInstance()
{
    Release();
}

OrvelSingleInstance::Outcome OrvelSingleInstance::TryAcquire()
{
    if (m_pHandle)
        return Acquired;
    // A one-byte named section: the system removes it with its last handle,
    // so a crashed launcher leaves nothing behind.
    const std::wstring strName = m_strKey.toStdWString();
    HANDLE hMapping =
        ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 1, strName.c_str());
    const DWORD dwError = ::GetLastError();
    if (hMapping == nullptr)
    {
        if (dwError == ERROR_ACCESS_DENIED)
            return HeldElsewhere;
        m_strError = QStringLiteral("CreateFileMappingW failed (error code: %1)").arg(dwError);
        return Unavailable;
    }
    if (dwError == ERROR_ALREADY_EXISTS)
    {
        ::CloseHandle(hMapping);
        return HeldElsewhere;
    }
    m_pHandle = std::make_unique<Handle>();
    m_pHandle->hMapping = hMapping;
    return Acquired;
}

void OrvelSingleInstance::Release()
{
    if (!m_pHandle)
        return;
    ::CloseHandle(m_pHandle->hMapping);
    m_pHandle.reset();
}
