// Every question the controller asks the user goes through this interface, so
// the controller stays free of widgets: the window answers with message boxes
// and dialogs, orvelsync on the terminal or with --yes, tests with a script.
// The texts, titles, buttons and default of each question are fixed here in
// core (OrvelQuestion's builders); only the presentation differs.
// Every call comes from the controller's thread and blocks until answered.
#pragma once

#include "OrvelReconcilePlan.h"
#include "workers/OrvelWeakReplacement.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

class OrvelFileService;

struct OrvelQuestion
{
    enum Id
    {
        GetLatest,          // confirm the download of the latest version
        RepairResources,    // confirm a repair
        ActiveProcess,      // a tool of the working path runs: warning, OK only
        SelfUpdate,         // the launcher's own files differ from the store's
        ReconcileNoChanges, // a reconcile scan found nothing to change: OK only
        InterruptedTask,    // a cut-off task: finish it (Yes) or repair (No)
    };
    enum Button
    {
        Yes,
        No,
        Ok,
    };
    enum Icon
    {
        IconQuestion,
        IconWarning,
    };

    Id eId = GetLatest;
    Icon eIcon = IconQuestion;
    QString strTitle;
    QString strText;
    QList<Button> vecButtons;
    Button eDefault = Yes;

    static bool IsAffirmative(Button eButton) { return eButton == Yes || eButton == Ok; }

    // strLatest: "v%1", with " - <release text>" when there is one.
    static OrvelQuestion GetLatestConfirmation(const QString& strLatest);
    static OrvelQuestion RepairConfirmation();
    // strOperation: "resource download", "resource repair", "version switch", "preload task".
    static OrvelQuestion ActiveProcessWarning(const QString& strOperation, const QStringList& vecProcesses);
    static OrvelQuestion SelfUpdateConfirmation(bool bStartupCheck);
    static OrvelQuestion ReconcileAlreadyMatches();
    // uTarget 0: the interrupted task was a repair of uRecorded, which both
    // answers continue.
    static OrvelQuestion InterruptedTaskOffer(quint32 uRecorded, quint32 uTarget);
};

// What the user made of the deferred weak replacements of a finished task.
struct OrvelWeakRetryOutcome
{
    // True when the user asked for a retry (the dialog closed as accepted);
    // false when the user skipped.
    bool bRetried = false;
    // The failures that are still not replaced (skipped or failed again).
    std::vector<WeakReplacementFailure> vecUnresolved;
};

class IOrvelUserPrompt
{
public:
    virtual ~IOrvelUserPrompt() = default;

    // Shows the question and returns the button chosen (eDefault when the
    // user cannot be asked).
    virtual OrvelQuestion::Button Ask(const OrvelQuestion& question) = 0;

    // The version browse: the versions to offer come from
    // ListSwitchableVersions(pService). True with *puVersion set when the
    // user chose one; false when cancelled.
    virtual bool ChooseVersion(OrvelFileService* pService, quint32* puVersion) = 0;

    // Offers the deferred failures for another attempt (RetryWeakReplacements
    // through pService, bound to the version the task wrote, into strWorkPath)
    // and returns what is still unresolved.
    virtual OrvelWeakRetryOutcome
    RetryWeakReplacements(const std::vector<WeakReplacementFailure>& vecFailures, OrvelFileService* pService,
                          const QString& strWorkPath) = 0;

    // Directory reconcile, first confirmation: the user picks among
    // vecCandidates (relative directories of strWorkPath, "" for the whole
    // working path). False when cancelled. A prompt that cannot show the
    // choice cancels, so nothing is ever changed unasked.
    virtual bool ChooseReconcileDirectories(const QString& strWorkPath, const QStringList& vecCandidates,
                                            QStringList* pvecSelected)
    {
        (void)strWorkPath;
        (void)vecCandidates;
        (void)pvecSelected;
        return false;
    }

    // Second confirmation: the user picks, file by file, the reverts and
    // deletions to apply (relative paths of the plan's entries). False when
    // cancelled.
    virtual bool ConfirmReconcilePlan(const OrvelReconcilePlan& plan, QStringList* pvecRevert,
                                      QStringList* pvecDelete)
    {
        (void)plan;
        (void)pvecRevert;
        (void)pvecDelete;
        return false;
    }
};
