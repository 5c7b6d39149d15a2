#include "OrvelUpdaterWindow.h"

#include <QEvent>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

OrvelUpdaterWindow::OrvelUpdaterWindow(QWidget* pParent) : QDialog(pParent)
{
    setObjectName(QStringLiteral("updaterWindow"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setFixedSize(400, 150);

    m_pStatusLabel = new QLabel(this);
    m_pStatusLabel->setObjectName(QStringLiteral("statusLabel"));
    QFont font = m_pStatusLabel->font();
    font.setPointSize(11);
    m_pStatusLabel->setFont(font);
    m_pStatusLabel->setAlignment(Qt::AlignCenter);

    m_pProgressBar = new QProgressBar(this);
    m_pProgressBar->setObjectName(QStringLiteral("progressBar"));
    m_pProgressBar->setTextVisible(true);
    m_pProgressBar->setValue(0);

    m_pCounterLabel = new QLabel(this);
    m_pCounterLabel->setObjectName(QStringLiteral("counterLabel"));
    m_pCounterLabel->setAlignment(Qt::AlignCenter);

    m_pDetailLabel = new QLabel(this);
    m_pDetailLabel->setObjectName(QStringLiteral("detailLabel"));
    m_pDetailLabel->setAlignment(Qt::AlignCenter);
    m_pDetailLabel->setWordWrap(true);

    auto* pLayout = new QVBoxLayout(this);
    pLayout->setSpacing(16);
    pLayout->setContentsMargins(24, 24, 24, 24);
    pLayout->addWidget(m_pStatusLabel);
    pLayout->addWidget(m_pProgressBar);
    pLayout->addWidget(m_pCounterLabel);
    pLayout->addWidget(m_pDetailLabel);

    retranslate();
}

void OrvelUpdaterWindow::setStatusText(const QString& strText)
{
    m_pStatusLabel->setText(strText);
}

void OrvelUpdaterWindow::setDetailText(const QString& strText)
{
    m_pDetailLabel->setText(strText);
}

void OrvelUpdaterWindow::setProgress(int nCurrent, int nTotal)
{
    m_pProgressBar->setRange(0, nTotal);
    m_pProgressBar->setValue(nCurrent);
    setFileCounter(nCurrent, nTotal);
}

void OrvelUpdaterWindow::setFileCounter(int nCurrent, int nTotal)
{
    m_pCounterLabel->setText(m_strCounterFormat.arg(nCurrent).arg(nTotal));
}

QString OrvelUpdaterWindow::statusText() const
{
    return m_pStatusLabel->text();
}

QString OrvelUpdaterWindow::fileCounterText() const
{
    return m_pCounterLabel->text();
}

void OrvelUpdaterWindow::retranslate()
{
    const QString strPreviousStatus = m_strDefaultStatus;
    const QString strPreviousFormat = m_strCounterFormat;

    setWindowTitle(tr("OrvelUpdater - Updating"));
    m_strDefaultStatus = tr("Preparing update...");
    m_strCounterFormat = tr("Files %1/%2");

    if (m_pStatusLabel->text().isEmpty() || m_pStatusLabel->text() == strPreviousStatus)
        m_pStatusLabel->setText(m_strDefaultStatus);
    if (m_pCounterLabel->text().isEmpty() || m_pCounterLabel->text() == strPreviousFormat.arg(0).arg(0))
        m_pCounterLabel->setText(m_strCounterFormat.arg(0).arg(0));
}

void OrvelUpdaterWindow::changeEvent(QEvent* pEvent)
{
    if (pEvent->type() == QEvent::LanguageChange)
        retranslate();
    QDialog::changeEvent(pEvent);
}
