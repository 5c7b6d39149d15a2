// SPDX-License-Identifier: MIT
// File names of the deliverables on this platform, in one place, so that paths
// compared against the store (the self-update) follow the platform.
#pragma once

namespace CorvanePlatform
{

#if defined(_WIN32)
constexpr const char* kCorvaneLibraryFile = "PemCorvaneX64.dll";
constexpr const char* kLauncherFile = "QHalvaneLauncher.exe";
constexpr const char* kUpdaterFile = "orvelupdater.exe";
constexpr const char* kEditorRelativePath = "editortool/qhalvaneeditor/QHalvaneEditorX64.exe";
// libcurl as its Windows builds name it, tried in order when HTTP is first used.
inline constexpr const char* kCurlLibraryNames[] = {"libcurl.dll", "libcurl-x64.dll"};
#else
constexpr const char* kCorvaneLibraryFile = "libPemCorvaneX64.so";
constexpr const char* kLauncherFile = "QHalvaneLauncher";
constexpr const char* kUpdaterFile = "orvelupdater";
constexpr const char* kEditorRelativePath = "editortool/qhalvaneeditor/QHalvaneEditorX64";
inline constexpr const char* kCurlLibraryNames[] = {"libcurl.so.4", "libcurl.so"};
#endif

} // namespace CorvanePlatform
