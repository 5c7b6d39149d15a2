// SPDX-License-Identifier: MIT
// One progress line on stderr, redrawn in place. It shows only when stderr is
// a terminal, so redirected output and logs stay free of it.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

class CorvaneProgress
{
public:
    CorvaneProgress();
    ~CorvaneProgress();
    CorvaneProgress(const CorvaneProgress&) = delete;
    CorvaneProgress& operator=(const CorvaneProgress&) = delete;

    // Redraws the line, at most ten times a second unless bForce.
    void Show(const std::string& strText, bool bForce = false);
    // Shows "strText N s" once a second from a helper thread until Clear, for a
    // call that reports no progress of its own.
    void Tick(const std::string& strText);
    // Erases the line.
    void Clear();

private:
    void StopTicking();

    bool m_bEnabled;
    bool m_bShown = false;
    std::chrono::steady_clock::time_point m_tLast;
    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_bStopTicking = false;
    std::thread m_ticker;
};
