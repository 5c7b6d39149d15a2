// Lets the user pick the version to switch the working path to: the versions
// the server can still serve, newest first, the current one preselected.
// Modal, on the stack; building the list talks to the server (blocks).
#pragma once

#include <QDialog>

class OrvelFileService;
class QComboBox;

class OrvelVersionBrowseDialog : public QDialog
{
    Q_OBJECT

public:
    // pFileService (not owned) is the primary service; null gives an empty list.
    explicit OrvelVersionBrowseDialog(OrvelFileService* pFileService, QWidget* pParent = nullptr);

    // The chosen version; 0 when nothing is listed.
    quint32 SelectedVersion() const;

private:
    QComboBox* m_pCombo = nullptr;
};
