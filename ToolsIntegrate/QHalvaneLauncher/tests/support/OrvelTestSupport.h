// Small helpers shared by the launcher's tests: real files in temporary trees.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>

namespace OrvelTest
{
// Writes data to path, creating its directories. Fails the test on error.
void WriteFile(const QString& strPath, const QByteArray& data);
// The whole content, or a null array when the file cannot be read.
QByteArray ReadFile(const QString& strPath);
// Temporary files of atomic writes (*.orveltmp, hidden ones too) below strDir,
// by path relative to it, sorted.
QStringList TempFilesBelow(const QString& strDir);
// Sets the last-modification time of a file.
void SetModified(const QString& strPath, const QDateTime& dtWhen);
QDateTime Modified(const QString& strPath);
// Sets or clears the immutable flag: even root cannot then create, rename or
// remove entries of such a directory or change such a file. False where the
// file system or the process's privileges do not allow it.
bool SetImmutable(const QString& strPath, bool bOn);
// Polls (processing events) until the file exists or the deadline passes.
bool WaitForFile(const QString& strPath, int nDeadlineMs);
// Processes events (deferred deletes too) until fnDone holds or nDeadlineMs
// passes; true when it held. The default leaves room for whole runs on a
// loaded machine.
bool WaitUntil(const std::function<bool()>& fnDone, int nDeadlineMs = 90000);
// Runs pWorker's DoWork slot on a QThread of its own, as the controller does,
// and fnWhileRunning on this thread meanwhile; then waits (at most
// nDeadlineMs) until fnDone holds and ends the thread. False when it never held.
bool RunOnWorkerThread(QObject* pWorker, const std::function<bool()>& fnDone,
                       const std::function<void()>& fnWhileRunning = {}, int nDeadlineMs = 120000);
// The first argument of each signal a spy caught, as text.
QStringList Texts(const QList<QList<QVariant>>& vecSignals);
} // namespace OrvelTest
