#include "OrvelTestGui.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QSet>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

namespace OrvelTest
{

namespace
{

// Polls for a modal widget and hands it to fnAct once; gives up at the deadline.
void WhenModal(const std::function<bool(QWidget*)>& fnAct, int nDeadlineMs)
{
    auto* pTimer = new QTimer;
    auto pElapsed = std::make_shared<QElapsedTimer>();
    pElapsed->start();
    pTimer->setInterval(20);
    QObject::connect(pTimer, &QTimer::timeout,
                     [pTimer, pElapsed, fnAct, nDeadlineMs]
                     {
                         QWidget* pModal = QApplication::activeModalWidget();
                         if ((pModal != nullptr && pModal->isVisible() && fnAct(pModal)) ||
                             pElapsed->elapsed() > nDeadlineMs)
                         {
                             pTimer->stop();
                             pTimer->deleteLater();
                         }
                     });
    pTimer->start();
}

} // namespace

std::shared_ptr<AnsweredBox> AnswerNextBox(QMessageBox::StandardButton eButton, int nDeadlineMs,
                                           const std::function<void(QMessageBox*)>& fnBefore)
{
    auto pAnswer = std::make_shared<AnsweredBox>();
    WhenModal(
        [pAnswer, eButton, fnBefore](QWidget* pModal)
        {
            auto* pBox = qobject_cast<QMessageBox*>(pModal);
            if (pBox == nullptr)
                return false;
            if (fnBefore)
                fnBefore(pBox);
            pAnswer->strTitle = pBox->windowTitle();
            pAnswer->strText = pBox->text();
            pAnswer->bAnswered = true;
            QAbstractButton* pButton = pBox->button(eButton);
            if (pButton != nullptr)
                pButton->click();
            else
                pBox->done(eButton);
            return true;
        },
        nDeadlineMs);
    return pAnswer;
}

void OnNextDialog(const std::function<void(QDialog*)>& fnAct, int nDeadlineMs)
{
    WhenModal(
        [fnAct](QWidget* pModal)
        {
            auto* pDialog = qobject_cast<QDialog*>(pModal);
            if (pDialog == nullptr || qobject_cast<QMessageBox*>(pModal) != nullptr)
                return false;
            fnAct(pDialog);
            return true;
        },
        nDeadlineMs);
}

QPushButton* ButtonWithText(QWidget* pParent, const QString& strText)
{
    for (QPushButton* pButton : pParent->findChildren<QPushButton*>())
    {
        if (pButton->text() == strText)
            return pButton;
    }
    return nullptr;
}

int DistinctColours(const QImage& image, int nStopAt)
{
    QSet<QRgb> colours;
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); y += 2)
    {
        const auto* pLine = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); x += 2)
        {
            colours.insert(pLine[x]);
            if (colours.size() >= nStopAt)
                return colours.size();
        }
    }
    return colours.size();
}

void Shot(QWidget& window, const QString& strName, QWidget* pOver)
{
    QCoreApplication::processEvents();
    QImage image = window.grab().toImage();
    if (pOver != nullptr)
    {
        const QImage over = pOver->grab().toImage();
        QPainter painter(&image);
        const qreal dRatio = image.devicePixelRatio();
        const QPoint at((image.width() / dRatio - over.width() / over.devicePixelRatio()) / 2,
                        (image.height() / dRatio - over.height() / over.devicePixelRatio()) / 2);
        painter.fillRect(image.rect(), QColor(0, 0, 0, 70));
        painter.drawImage(at, over);
    }
    const QSize expected = window.size() * window.devicePixelRatioF();
    EXPECT_EQ(image.size(), expected) << strName.toStdString();
    EXPECT_GT(DistinctColours(image), 16) << strName.toStdString() << " looks blank";
    const QString strDir = qEnvironmentVariable("ORVEL_SCREENSHOT_DIR");
    if (strDir.isEmpty())
        return;
    const QString strPath = strDir + QLatin1Char('/') + strName + QStringLiteral(".png");
    ASSERT_TRUE(image.save(strPath)) << strPath.toStdString();
    const QImage saved(strPath);
    EXPECT_EQ(saved.size(), expected) << strPath.toStdString();
    EXPECT_GT(DistinctColours(saved), 16) << strPath.toStdString() << " looks blank";
}

} // namespace OrvelTest
