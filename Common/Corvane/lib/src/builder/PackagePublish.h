// SPDX-License-Identifier: MIT
// Finishing a staged data package and moving it into the store.
#pragma once

#include <Corvane/CorvaneRecords.h>

#include <cstdint>
#include <string>

namespace NSCorvane
{

// Hashes the staged package's data region (its length must be nContextLength),
// writes the completed 28-byte header at its start, flushed to the device, and
// checks the package as a reader will. Thread-safe for different packages.
bool ApplyHeader(const char* pcszStageRoot, uint32_t uVer, CORVANE_DISK_PACKAGE_HEADER& header);
// Moves a staged package that ApplyHeader completed to the same relative
// path below the export directory through "<final>.<pid>.publishing.tmp", so
// the final name only ever shows a complete, verified package.
bool PublishPackage(const char* pcszStageRoot, const char* pcszExportDir, uint32_t uVer,
                    const CORVANE_DISK_PACKAGE_HEADER& header);

} // namespace NSCorvane
