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
