// Whether the store a service reads is signed, as the library checked it.
#include "OrvelFileService.h"

#include <Corvane/PemCorvaneX64.h>

QString OrvelFileService::LibraryFailureText(const OrvelCorvaneBinding::EntryPoints& entry)
{
    char szLine[2048] = {};
    if (entry.pfnLastFailure == nullptr || !entry.pfnLastFailure(szLine, sizeof(szLine)))
        return QString();
    return QString::fromUtf8(szLine);
}

QString OrvelFileService::StoreTrustText()
{
    if (!RequireReader(nullptr))
        return QString();
    OrvelCorvaneBinding::EntryPoints entry;
    NSCorvane::CORVANE_TRUST_STATE state;
    if (!OrvelCorvaneBinding::Bind(&entry, nullptr) || entry.pfnTrustState == nullptr ||
        !entry.pfnTrustState(m_pReader, &state))
        return tr("Not verified: this library cannot check signatures");
    if (state.uVerified == 0)
        return tr("Not signed: files are checked for integrity only");
    return tr("Verified: version %1 signed by key %2")
        .arg(m_pReader->GetWorkVersion())
        .arg(QString::fromLatin1(state.szKeyId));
}
