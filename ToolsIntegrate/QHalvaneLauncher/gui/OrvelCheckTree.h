// The checkable tree both reconcile dialogs show: a tree view over a model of
// checkable items, where checking an item checks everything below it and a
// parent shows whether all, none or some of its children are checked.
#pragma once

#include <QString>

class QDialog;
class QLabel;
class QStandardItem;
class QStandardItemModel;
class QTreeView;
class QWidget;

namespace OrvelCheckTree
{

// Path of an item (relative, "/" separators) in Qt::UserRole; whether it is
// a file in this role.
constexpr int kIsFileRole = 0x0101; // Qt::UserRole + 1

// The tree view as both dialogs lay it out: header hidden (one label),
// animated, not editable, no selection, last section stretched.
QTreeView* MakeView(QStandardItemModel* pModel, const QString& strHeader, QWidget* pParent);

// The dialog's layout: the label, the view, then Yes and No (texts given,
// translated by the dialog) that accept and reject it.
void LayOut(QDialog* pDialog, QLabel* pLabel, QTreeView* pView, const QString& strYes, const QString& strNo);

QStandardItem* MakeItem(const QString& strText, const QString& strPath, bool bFile);

// Called with the item whose check state changed: its descendants follow it,
// then each parent is checked, unchecked or partly checked after its children,
// up to the first parent whose state stays.
void Propagate(QStandardItem* pItem);

} // namespace OrvelCheckTree
