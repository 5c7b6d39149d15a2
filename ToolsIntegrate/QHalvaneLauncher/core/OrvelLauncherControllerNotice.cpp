// The controller's release-note commands: each shows one version's
// "changelog.txt" with a title from its package information, read through a
// notice service bound to that version, apart from the primary and task services.
#include "LauncherSettings.h"
#include "OrvelFileService.h"
#include "OrvelLauncherController.h"

#include <QCoreApplication>

namespace
{

// The texts of this file, in the OrvelLauncherController translation context.
struct Text
{
    Q_DECLARE_TR_FUNCTIONS(OrvelLauncherController)
};

} // namespace

void OrvelLauncherController::ResetNoticeState()
{
    m_pNoticeService.reset();
    m_uNoticeVersion = 0;
    m_bNoticeBrowsing = false;
}

void OrvelLauncherController::OpenUpdateNotice()
{
    quint32 uVersion = 0;
    QString strTag;
    if (m_pSettings == nullptr || !m_pSettings->readProductRecord(&uVersion, &strTag))
        uVersion = (m_pPrimary != nullptr && m_pPrimary->IsReady()) ? m_pPrimary->CurrentVersion() : 0;
    ShowNotice(uVersion);
}

void OrvelLauncherController::BrowseNoticeUp()
{
    if (m_bNoticeBrowsing && m_uNoticeVersion < 0xFFFFFFFEu)
        ShowNotice(m_uNoticeVersion + 1);
}

void OrvelLauncherController::BrowseNoticeDown()
{
    if (m_bNoticeBrowsing && m_uNoticeVersion > 1)
        ShowNotice(m_uNoticeVersion - 1);
}

bool OrvelLauncherController::NoticeVersionReadable(quint32 uVersion)
{
    if (uVersion == 0 || uVersion >= 0xFFFFFFFFu || m_pPrimary == nullptr)
        return false;
    QString strError;
    std::unique_ptr<OrvelFileService> pProbe = m_pPrimary->CreateVersionBoundService(uVersion, &strError);
    return pProbe && pProbe->CurrentVersion() == uVersion &&
           pProbe->ReadPakInfo().status == PakInfoResult::StatusOk;
}

void OrvelLauncherController::ShowNotice(quint32 uVersion)
{
    QString strError;
    if (m_pPrimary == nullptr || !m_pPrimary->IsReady() || uVersion == 0)
        strError = Text::tr("resource service unavailable");
    else if (m_pNoticeService)
    {
        if (!m_pNoticeService->Rebind(uVersion))
        {
            strError = m_pNoticeService->LastError();
            m_pNoticeService.reset();
        }
    }
    else
        m_pNoticeService = m_pPrimary->CreateVersionBoundService(uVersion, &strError);
    if (!m_pNoticeService)
    {
        Log(Text::tr("Failed to initialize notice file service for version %1: %2")
                .arg(uVersion)
                .arg(strError));
        Status(Text::tr("Update notice unavailable"));
        return;
    }
    const quint32 uActual = m_pNoticeService->CurrentVersion();
    if (uActual != uVersion)
    {
        Log(Text::tr("Notice version request resolved to unexpected version: requested %1, got %2")
                .arg(uVersion)
                .arg(uActual));
        Status(Text::tr("Update notice unavailable"));
        return;
    }
    m_uNoticeVersion = uVersion;
    m_bNoticeBrowsing = true;

    QString strContent;
    QString strReadError;
    const bool bChangelog =
        m_pNoticeService->ReadRemoteText(QStringLiteral("changelog.txt"), &strContent, &strReadError);
    if (!bChangelog)
    {
        Log(Text::tr("Failed to read changelog.txt for version %1: %2").arg(uVersion).arg(strReadError));
        strContent = Text::tr("Failed to read changelog.txt\n\n%1").arg(strReadError);
    }

    QString strTitle = QStringLiteral("v%1").arg(uVersion);
    const PakInfoResult info = m_pNoticeService->ReadPakInfo();
    if (info.status == PakInfoResult::StatusOk)
    {
        if (!info.releaseText.isEmpty())
            strTitle += QStringLiteral(" | %1").arg(info.releaseText);
        // The guid goes on a line of its own also without a release text.
        strTitle += QLatin1Char('\n');
        strTitle += QStringLiteral("guid: {%1}").arg(info.tag.isEmpty() ? Text::tr("<empty>") : info.tag);
    }
    else
    {
        const QString strInfoError = info.error.isEmpty() ? m_pNoticeService->LastError() : info.error;
        strTitle += Text::tr(" | PakInfo unavailable: %1").arg(strInfoError);
        Log(Text::tr("Failed to read PakInfo for notice version %1: %2").arg(uVersion).arg(strInfoError));
        if (!bChangelog)
            strContent = Text::tr("Failed to read version metadata.\n\n%1").arg(strReadError);
    }

    quint32 uRecorded = 0;
    QString strTag;
    const bool bCurrent = m_pSettings != nullptr && m_pSettings->readProductRecord(&uRecorded, &strTag) &&
                          uRecorded == uVersion;
    const bool bUp = NoticeVersionReadable(uVersion + 1);
    const bool bDown = NoticeVersionReadable(uVersion - 1);
    emit UpdateNoticeOverlayReady(strTitle, strContent, bCurrent, bUp, bDown);
}
