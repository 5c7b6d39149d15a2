// SPDX-License-Identifier: MIT
// Sets the process locale (LC_ALL) for the life of the object, as a host
// program does from its environment, and restores the previous one after.
#pragma once

#include "support/TempDir.h"

#include <memory>
#include <string>

namespace CorvaneTest
{

class ScopedLocale
{
public:
    // strName like "tr_TR.UTF-8": language_TERRITORY.CHARMAP. A locale the
    // system lacks is compiled with localedef into a temporary directory and
    // found through LOCPATH (scripts/setup-deps.sh installs them system-wide).
    explicit ScopedLocale(const std::string& strName);
    ~ScopedLocale();
    ScopedLocale(const ScopedLocale&) = delete;
    ScopedLocale& operator=(const ScopedLocale&) = delete;

    bool Active() const { return m_bActive; }
    // Why the locale could not be set; empty when Active().
    const std::string& Why() const { return m_strWhy; }

private:
    std::string m_strOld;
    bool m_bActive = false;
    bool m_bSetLocPath = false;
    bool m_bHadLocPath = false;
    std::string m_strOldLocPath;
    std::string m_strWhy;
    std::unique_ptr<TempDir> m_pCompiled;
};

} // namespace CorvaneTest
