// SPDX-License-Identifier: MIT
// Turns a configuration into the file systems of a reader's factory. Lives in
// net/ so that fs/ does not depend on the downloader.
#pragma once

#include "fs/PemFileStreamFactory.h"
#include "net/PemConfig.h"
#include "net/PemSourceHealth.h"

namespace NSCorvane
{

// Adds the local directory (when enabled) and one downloader per remote entry
// (when enabled), in order. pHealth (may be null; it must outlive the
// factory's sources) then lists those sources in the same order, and each
// downloader reports to it. False on the first failure; what was added so far
// stays in the factory, which releases it.
bool SetupFactoryByConfig(PemFileStreamFactory& factory, const PemConfig* pCfg,
                          PemSourceHealth* pHealth = nullptr);

} // namespace NSCorvane
