// The second confirmation of a directory reconcile: the files the scan would
// revert to the server's content and the local files it would delete, nested
// by directory under two groups. Every file starts checked; only checked files
// are applied. Modal, on the stack.
#pragma once

#include "OrvelReconcilePlan.h"

#include <QDialog>
#include <QStringList>

class QStandardItem;
class QStandardItemModel;
class QTreeView;

class OrvelReconcilePlanDialog : public QDialog
{
    Q_OBJECT

public:
    explicit OrvelReconcilePlanDialog(const OrvelReconcilePlan& plan, QWidget* pParent = nullptr);

    // Checked files of each group, as relative paths of the plan's entries.
    QStringList SelectedRevert() const;
    QStringList SelectedDelete() const;
    QStandardItemModel* Model() const { return m_pModel; }
    QTreeView* View() const { return m_pView; }

    // Shows the dialog; false when the user declined.
    static bool Ask(QWidget* pParent, const OrvelReconcilePlan& plan, QStringList* pvecRevert,
                    QStringList* pvecDelete);

public slots:
    void OnItemChanged(QStandardItem* item);

private:
    QStandardItem* AddGroup(const QString& strTitle, const QVector<OrvelReconcileEntry>& vecEntries);

    QStandardItemModel* m_pModel = nullptr;
    QTreeView* m_pView = nullptr;
    QStandardItem* m_pRevertGroup = nullptr;
    QStandardItem* m_pDeleteGroup = nullptr;
    bool m_bPropagating = false;
};
