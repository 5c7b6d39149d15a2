// Offers the files a task could not replace (weak replacements) for another
// attempt once the program holding them is closed. The retry runs on the GUI
// thread through RetryWeakReplacements; files that still fail stay on show
// with their new reason until they succeed or the user skips them.
// UnresolvedFailures() then holds exactly the failures not replaced.
// Modal, on the stack.
#pragma once

#include "workers/OrvelWeakReplacement.h"

#include <QDialog>

#include <vector>

class OrvelFileService;
class QLabel;
class QPushButton;
class QStandardItemModel;
class QTableView;

class OrvelWeakReplacementDialog : public QDialog
{
    Q_OBJECT

public:
    // pFileService (not owned) is bound to the version the task wrote;
    // strWorkPath is the working path the files belong to.
    OrvelWeakReplacementDialog(const std::vector<WeakReplacementFailure>& vecFailures,
                               OrvelFileService* pFileService, const QString& strWorkPath,
                               QWidget* pParent = nullptr);

    std::vector<WeakReplacementFailure> UnresolvedFailures() const { return m_vecUnresolved; }

public slots:
    // Skip, Esc and the window's close button: every row on show stays unresolved.
    void reject() override;

private slots:
    void OnReplaceSelected();

private:
    void Fill();
    void SetControlsEnabled(bool bEnabled);

    OrvelFileService* m_pFileService;
    QString m_strWorkPath;
    std::vector<WeakReplacementFailure> m_vecCurrent;
    std::vector<WeakReplacementFailure> m_vecUnresolved;
    QLabel* m_pLabel = nullptr;
    QTableView* m_pTable = nullptr;
    QStandardItemModel* m_pModel = nullptr;
    QPushButton* m_pReplaceButton = nullptr;
    QPushButton* m_pSkipButton = nullptr;
};
