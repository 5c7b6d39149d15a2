// SPDX-License-Identifier: MIT
#include "CorvaneProgress.h"

#include "platform/ToolPlatform.h"

#include <cstdio>

CorvaneProgress::CorvaneProgress() : m_bEnabled(CorvaneToolPlatform::IsStderrTerminal()) {}

CorvaneProgress::~CorvaneProgress()
{
    Clear();
}

void CorvaneProgress::Show(const std::string& strText, bool bForce)
{
    if (!m_bEnabled)
    {
        return;
    }
    std::lock_guard<std::mutex> guard(m_lock);
    const auto tNow = std::chrono::steady_clock::now();
    if (!bForce && m_bShown && tNow - m_tLast < std::chrono::milliseconds(100))
    {
        return;
    }
    m_tLast = tNow;
    m_bShown = true;
    std::fprintf(stderr, "\r\x1b[K%s", strText.c_str());
    std::fflush(stderr);
}

void CorvaneProgress::Tick(const std::string& strText)
{
    if (!m_bEnabled)
    {
        return;
    }
    StopTicking();
    m_bStopTicking = false;
    m_ticker = std::thread(
        [this, strText]
        {
            const auto tStart = std::chrono::steady_clock::now();
            std::unique_lock<std::mutex> guard(m_lock);
            while (!m_bStopTicking)
            {
                const auto nSeconds = std::chrono::duration_cast<std::chrono::seconds>(
                                          std::chrono::steady_clock::now() - tStart)
                                          .count();
                std::fprintf(stderr, "\r\x1b[K%s %lld s", strText.c_str(), static_cast<long long>(nSeconds));
                std::fflush(stderr);
                m_bShown = true;
                m_wake.wait_for(guard, std::chrono::seconds(1));
            }
        });
}

void CorvaneProgress::Clear()
{
    StopTicking();
    if (!m_bEnabled)
    {
        return;
    }
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_bShown)
    {
        std::fprintf(stderr, "\r\x1b[K");
        std::fflush(stderr);
        m_bShown = false;
    }
}

void CorvaneProgress::StopTicking()
{
    if (!m_ticker.joinable())
    {
        return;
    }
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_bStopTicking = true;
    }
    m_wake.notify_all();
    m_ticker.join();
}
