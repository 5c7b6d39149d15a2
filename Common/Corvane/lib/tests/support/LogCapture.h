// SPDX-License-Identifier: MIT
// Runs a test inside its own directory so that "PemCorvane.log" (written to the
// current directory) belongs to that test alone, with the error log installed.
// Text() is empty while nothing was logged: the file is made by the first line.
#pragma once

#include "support/TempDir.h"

#include <string>

namespace CorvaneTest
{

class LogCapture
{
public:
    LogCapture();
    ~LogCapture();

    std::string Text() const;
    // Text() without the line each remote reader writes when no key is
    // trusted: what is left are failures.
    std::string ProblemText() const;
    bool Contains(const std::string& strNeedle) const { return Text().find(strNeedle) != std::string::npos; }
    void Clear();
    const TempDir& Dir() const { return m_dir; }

private:
    TempDir m_dir;
    std::string m_strOldCwd;
};

} // namespace CorvaneTest
