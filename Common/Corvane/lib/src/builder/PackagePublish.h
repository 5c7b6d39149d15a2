// SPDX-License-Identifier: MIT
// Finishing a staged data package and moving it into the store.
#pragma once

#include <Corvane/CorvaneRecords.h>

#include <cstdint>
#include <string>

namespace NSCorvane
{

// Completes a staged package: its data region must be nContextLength bytes;
// its hash is puWrittenHash when the caller hashed the region as it was
// written, else it is read back whole, hashed and checked as a reader will.
// Writes the 28-byte header at its start and flushes the package to the
// device. Thread-safe for different packages.
bool ApplyHeader(const char* pcszStageRoot, uint32_t uVer, CORVANE_DISK_PACKAGE_HEADER& header,
                 const uint64_t* puWrittenHash);
// Moves a staged package that ApplyHeader completed to the same relative
// path below the export directory through "<final>.<pid>.publishing.tmp", so
// the final name only ever shows a complete, verified package.
bool PublishPackage(const char* pcszStageRoot, const char* pcszExportDir, uint32_t uVer,
                    const CORVANE_DISK_PACKAGE_HEADER& header);

} // namespace NSCorvane
