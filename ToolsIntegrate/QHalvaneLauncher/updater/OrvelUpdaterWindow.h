// The updater's small progress dialog: status, progress bar, file counter and
// the file being worked on.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QProgressBar;

class OrvelUpdaterWindow : public QDialog
{
    Q_OBJECT

public:
    explicit OrvelUpdaterWindow(QWidget* pParent = nullptr);

    void setStatusText(const QString& strText);
    void setDetailText(const QString& strText);
    // Progress bar 0..nTotal at nCurrent, and the counter to match.
    void setProgress(int nCurrent, int nTotal);
    void setFileCounter(int nCurrent, int nTotal);
    // Texts the flow has set stay; only the defaults follow the language.
    void retranslate();

    QString statusText() const;
    QString fileCounterText() const;

protected:
    void changeEvent(QEvent* pEvent) override;

private:
    QLabel* m_pStatusLabel = nullptr;
    QProgressBar* m_pProgressBar = nullptr;
    QLabel* m_pCounterLabel = nullptr;
    QLabel* m_pDetailLabel = nullptr;
    QString m_strDefaultStatus;
    QString m_strCounterFormat;
};
