// The launcher's one format for a failed file operation, so that users read the
// same reasons ("file is in use by another process", "access denied",
// "(target file is read-only)") whatever the operation.
#pragma once

#include <QString>

namespace OrvelFileError
{

// "Failed to <operation>: <path> (<reasons>)". With bReadOnlyCheck and a target
// that carries the read-only mark the only reason is "target file is read-only".
// Otherwise the reasons are, in order and without repeats: the kind of nCode,
// the device's own text (trimmed), the system's message for nCode.
QString Format(const QString& strOperation, const QString& strPath, const QString& strDeviceText, int nCode,
               bool bReadOnlyCheck);

} // namespace OrvelFileError
