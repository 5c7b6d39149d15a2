#include "OrvelTerminalPrompt.h"

#include "platform/OrvelTerminal.h"
#include "workers/OrvelWeakReplacementRetry.h"

#include <QTextStream>

#include <cstdio>

namespace
{
QString ButtonName(OrvelQuestion::Button eButton)
{
    switch (eButton)
    {
    case OrvelQuestion::Yes:
        return QStringLiteral("Yes");
    case OrvelQuestion::No:
        return QStringLiteral("No");
    case OrvelQuestion::Ok:
        return QStringLiteral("OK");
    }
    return QString();
}

// "1.5 MB" as a plan line shows it; "?" when the store did not say.
QString SizeText(qint64 nBytes)
{
    if (nBytes < 0)
        return QStringLiteral("?");
    if (nBytes < 1024)
        return QStringLiteral("%1 B").arg(nBytes);
    double dValue = static_cast<double>(nBytes) / 1024.0;
    QString strUnit = QStringLiteral("KB");
    if (dValue >= 1024.0)
    {
        dValue /= 1024.0;
        strUnit = QStringLiteral("MB");
    }
    if (dValue >= 1024.0)
    {
        dValue /= 1024.0;
        strUnit = QStringLiteral("GB");
    }
    return QStringLiteral("%1 %2").arg(QString::number(dValue, 'f', 1), strUnit);
}

void Out(const QString& strText)
{
    std::fputs(strText.toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}

void Print(const QString& strText)
{
    std::fputs(strText.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}
} // namespace

OrvelTerminalPrompt::OrvelTerminalPrompt(bool bYes, int nWeakRetries)
    : m_bYes(bYes), m_nWeakRetries(nWeakRetries)
{
}

OrvelQuestion::Button OrvelTerminalPrompt::Ask(const OrvelQuestion& question)
{
    Print(QStringLiteral("\n%1\n%2\n").arg(question.strTitle, question.strText));
    if (m_bYes)
    {
        for (OrvelQuestion::Button eButton : question.vecButtons)
        {
            if (OrvelQuestion::IsAffirmative(eButton))
            {
                Print(QStringLiteral("-> %1 (--yes)\n").arg(ButtonName(eButton)));
                return eButton;
            }
        }
    }
    if (question.vecButtons.size() < 2 || !OrvelPlatform::StandardInputIsTerminal())
    {
        Print(QStringLiteral("-> %1\n").arg(ButtonName(question.eDefault)));
        return question.eDefault;
    }
    QStringList vecChoices;
    for (OrvelQuestion::Button eButton : question.vecButtons)
        vecChoices << (eButton == question.eDefault ? ButtonName(eButton).toUpper()
                                                    : ButtonName(eButton).toLower());
    Print(QStringLiteral("[%1] ").arg(vecChoices.join(QLatin1Char('/'))));
    QTextStream input(stdin);
    const QString strAnswer = input.readLine().trimmed().toLower();
    for (OrvelQuestion::Button eButton : question.vecButtons)
    {
        const QString strName = ButtonName(eButton).toLower();
        if (!strAnswer.isEmpty() && strName.startsWith(strAnswer))
            return eButton;
    }
    return question.eDefault;
}

bool OrvelTerminalPrompt::ChooseVersion(OrvelFileService*, quint32*)
{
    // orvelsync names the version on its command line ("switch VERSION").
    return false;
}

OrvelWeakRetryOutcome
OrvelTerminalPrompt::RetryWeakReplacements(const std::vector<WeakReplacementFailure>& vecFailures,
                                           OrvelFileService* pService, const QString& strWorkPath)
{
    OrvelWeakRetryOutcome outcome;
    outcome.vecUnresolved = vecFailures;
    for (int nRound = 0; nRound < m_nWeakRetries && !outcome.vecUnresolved.empty(); ++nRound)
    {
        Print(QStringLiteral("Retrying %1 file(s) that could not be replaced (%2 of %3)\n")
                  .arg(outcome.vecUnresolved.size())
                  .arg(nRound + 1)
                  .arg(m_nWeakRetries));
        outcome.bRetried = true;
        outcome.vecUnresolved =
            ::RetryWeakReplacements(pService, outcome.vecUnresolved, strWorkPath).vecStillFailed;
    }
    m_vecUnresolved = outcome.vecUnresolved;
    return outcome;
}

void OrvelTerminalPrompt::SetReconcile(const QStringList& vecDirectories, bool bApply)
{
    m_vecReconcileDirs = vecDirectories;
    m_bReconcileApply = bApply;
}

bool OrvelTerminalPrompt::ChooseReconcileDirectories(const QString&, const QStringList&,
                                                     QStringList* pvecSelected)
{
    // The directories come from the command line, not from the candidates:
    // any directory of the working path may be named.
    *pvecSelected = m_vecReconcileDirs;
    return !m_vecReconcileDirs.isEmpty();
}

bool OrvelTerminalPrompt::ConfirmReconcilePlan(const OrvelReconcilePlan& plan, QStringList* pvecRevert,
                                               QStringList* pvecDelete)
{
    Out(QStringLiteral("Revert to server version (%1 file(s)):\n").arg(plan.vecRevert.size()));
    for (const OrvelReconcileEntry& entry : plan.vecRevert)
        Out(QStringLiteral("  %1  %2\n").arg(SizeText(entry.nServerSize), 9).arg(entry.strRelativePath));
    Out(QStringLiteral("Delete extra local files (%1 file(s)):\n").arg(plan.vecDelete.size()));
    for (const OrvelReconcileEntry& entry : plan.vecDelete)
        Out(QStringLiteral("  %1  %2\n").arg(SizeText(entry.nLocalSize), 9).arg(entry.strRelativePath));
    for (const QString& strLinked : plan.vecLinked)
        Out(QStringLiteral("Left alone (link): %1\n").arg(strLinked));
    if (!m_bReconcileApply)
        return false;
    for (const OrvelReconcileEntry& entry : plan.vecRevert)
        pvecRevert->append(entry.strRelativePath);
    for (const OrvelReconcileEntry& entry : plan.vecDelete)
        pvecDelete->append(entry.strRelativePath);
    Print(QStringLiteral("-> Apply Selected Changes (--yes)\n"));
    return true;
}
