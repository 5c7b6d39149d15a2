// Helpers for tests that drive real widgets under the offscreen platform:
// waiting for a state with a deadline, answering modal boxes and dialogs as a
// user would, and checked screenshots.
#pragma once

#include "OrvelTestSupport.h"

#include <QMessageBox>
#include <QString>

#include <functional>
#include <memory>

class QDialog;
class QImage;
class QPushButton;
class QWidget;

namespace OrvelTest
{

// What a modal box showed before it was answered.
struct AnsweredBox
{
    bool bAnswered = false;
    QString strTitle;
    QString strText;
};

// Answers the next modal message box that opens within nDeadlineMs by
// clicking eButton (fnBefore sees it first). Works while the box runs its own
// event loop.
std::shared_ptr<AnsweredBox> AnswerNextBox(QMessageBox::StandardButton eButton, int nDeadlineMs = 20000,
                                           const std::function<void(QMessageBox*)>& fnBefore = {});

// Runs fnAct on the next modal dialog (not a message box) once it is shown.
void OnNextDialog(const std::function<void(QDialog*)>& fnAct, int nDeadlineMs = 20000);

// The push button below pParent that reads strText, or null.
QPushButton* ButtonWithText(QWidget* pParent, const QString& strText);

// Distinct colours of an image (counting stops at nStopAt).
int DistinctColours(const QImage& image, int nStopAt = 1000);

// Grabs the window, with pOver (a dialog over it) painted in its middle, and
// checks the picture: the window's size and more than a handful of colours.
// With ORVEL_SCREENSHOT_DIR set the picture is saved there as NAME.png and the
// saved file is read back and checked the same way.
void Shot(QWidget& window, const QString& strName, QWidget* pOver = nullptr);

} // namespace OrvelTest
