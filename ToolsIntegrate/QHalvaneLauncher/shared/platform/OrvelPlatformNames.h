// File names of the deliverables as they are deployed on this platform. The
// self-update compares store paths against these, so they live in one place.
#pragma once

namespace OrvelPlatform
{

#ifdef _WIN32
inline constexpr const char kLauncherFileName[] = "QHalvaneLauncher.exe";
inline constexpr const char kUpdaterFileName[] = "orvelupdater.exe";
inline constexpr const char kLibraryFileName[] = "PemCorvaneX64.dll";
#else
inline constexpr const char kLauncherFileName[] = "QHalvaneLauncher";
inline constexpr const char kUpdaterFileName[] = "orvelupdater";
inline constexpr const char kLibraryFileName[] = "libPemCorvaneX64.so";
#endif

} // namespace OrvelPlatform
