#include "IOrvelUserPrompt.h"

#include <QCoreApplication>

namespace
{
// The texts of this file, in the OrvelLauncherController translation context.
struct Text
{
    Q_DECLARE_TR_FUNCTIONS(OrvelLauncherController)
};
} // namespace

OrvelQuestion OrvelQuestion::GetLatestConfirmation(const QString& strLatest)
{
    OrvelQuestion question;
    question.eId = GetLatest;
    question.strTitle = Text::tr("Get Latest");
    question.strText =
        Text::tr("A newer resource version is available.\n\nLatest version: %1\n\nDo you want to "
                 "start downloading it "
                 "now?")
            .arg(strLatest);
    question.vecButtons = {Yes, No};
    question.eDefault = Yes;
    return question;
}

OrvelQuestion OrvelQuestion::RepairConfirmation()
{
    OrvelQuestion question;
    question.eId = RepairResources;
    question.strTitle = Text::tr("Repair Resources");
    question.strText = Text::tr("Resource repair may take a long time. Do you want to continue?");
    question.vecButtons = {Yes, No};
    question.eDefault = No;
    return question;
}

OrvelQuestion OrvelQuestion::ActiveProcessWarning(const QString& strOperation,
                                                  const QStringList& vecProcesses)
{
    OrvelQuestion question;
    question.eId = ActiveProcess;
    question.eIcon = IconWarning;
    question.strTitle = Text::tr("Active Process Detected");
    question.strText =
        Text::tr("Cannot start %1 because the following active processes belong to the current "
                 "working path. Please close them and try again.\n\n%2")
            .arg(strOperation, vecProcesses.join(QLatin1Char('\n')));
    question.vecButtons = {Ok};
    question.eDefault = Ok;
    return question;
}

OrvelQuestion OrvelQuestion::SelfUpdateConfirmation(bool bStartupCheck)
{
    OrvelQuestion question;
    question.eId = SelfUpdate;
    question.strTitle = Text::tr("Launcher Update Available");
    question.strText = bStartupCheck
                           ? Text::tr("The launcher files differ from the latest server version. Do you "
                                      "want to update the launcher now before completing startup?")
                           : Text::tr("The launcher files differ from the latest server version. Do you "
                                      "want to update the launcher now?");
    question.vecButtons = {Yes, No};
    question.eDefault = No;
    return question;
}

OrvelQuestion OrvelQuestion::ReconcileAlreadyMatches()
{
    OrvelQuestion question;
    question.eId = ReconcileNoChanges;
    question.strTitle = Text::tr("Directory Reconcile");
    question.strText = Text::tr("The selected directories already match the server version.");
    question.vecButtons = {Ok};
    question.eDefault = Ok;
    return question;
}

OrvelQuestion OrvelQuestion::InterruptedTaskOffer(quint32 uRecorded, quint32 uTarget)
{
    OrvelQuestion question;
    question.eId = InterruptedTask;
    question.eIcon = IconWarning;
    question.strTitle = Text::tr("Update Interrupted");
    if (uTarget == 0)
    {
        question.strText =
            Text::tr("An update was interrupted. A repair of version %1 did not finish, so some "
                     "files in the working path may be damaged.\n\nThe repair will now be "
                     "finished; the editor cannot be launched until it is.")
                .arg(uRecorded);
        question.vecButtons = {Ok};
        question.eDefault = Ok;
        return question;
    }
    question.strText =
        Text::tr("An update was interrupted. The working path may hold files of version %1 and of "
                 "version %2, so the editor cannot be launched yet.\n\nYes: finish the update to "
                 "version %2.\nNo: repair the files of version %1.")
            .arg(uRecorded)
            .arg(uTarget);
    question.vecButtons = {Yes, No};
    question.eDefault = Yes;
    return question;
}
