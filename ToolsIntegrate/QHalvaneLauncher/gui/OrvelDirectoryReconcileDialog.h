// The first confirmation of a directory reconcile: which directories of the
// working path to compare with the server. Every directory starts checked;
// checking a directory checks everything below it. Modal, on the stack.
#pragma once

#include <QDialog>
#include <QStringList>

class QStandardItem;
class QStandardItemModel;
class QTreeView;

class OrvelDirectoryReconcileDialog : public QDialog
{
    Q_OBJECT

public:
    // vecCandidates: relative directories ("" is the working path itself).
    OrvelDirectoryReconcileDialog(const QString& strWorkPath, const QStringList& vecCandidates,
                                  QWidget* pParent = nullptr);

    // Checked directories from the top: a checked one stands for everything
    // below it; a partly checked one is looked into.
    QStringList SelectedDirectories() const;
    QStandardItemModel* Model() const { return m_pModel; }
    QTreeView* View() const { return m_pView; }

    // Shows the dialog; false when the user declined.
    static bool Ask(QWidget* pParent, const QString& strWorkPath, const QStringList& vecCandidates,
                    QStringList* pvecSelected);

public slots:
    void OnItemChanged(QStandardItem* item);

private:
    QStandardItemModel* m_pModel = nullptr;
    QTreeView* m_pView = nullptr;
    bool m_bPropagating = false;
};
