// Asks whether closing the main window hides the launcher in the tray or exits.
// The main window creates it with itself as parent, application-modal and
// deleted on close, and reads choice() and rememberChoice() when it finishes.
#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;

class OrvelCloseConfirmDialog : public QDialog
{
    Q_OBJECT

public:
    enum Choice
    {
        ChoiceNone = 0,
        ChoiceMinimizeToTray = 1,
        ChoiceExit = 2,
    };

    explicit OrvelCloseConfirmDialog(QWidget* pParent = nullptr);

    qint32 choice() const { return m_nChoice; }
    bool rememberChoice() const;

public slots:
    void OnYesClicked();
    void OnNoClicked();

protected:
    void changeEvent(QEvent* pEvent) override;

private:
    void retranslate();

    QLabel* m_pMessageLabel = nullptr;
    QCheckBox* m_pRememberCheck = nullptr;
    QPushButton* m_pYesButton = nullptr;
    QPushButton* m_pNoButton = nullptr;
    qint32 m_nChoice = ChoiceNone;
};
