// Small helpers shared by the launcher's tests: real files in temporary trees.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
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
// passes; true when it held.
bool WaitUntil(const std::function<bool()>& fnDone, int nDeadlineMs = 20000);
// The first argument of each signal a spy caught, as text.
QStringList Texts(const QList<QList<QVariant>>& vecSignals);
} // namespace OrvelTest
