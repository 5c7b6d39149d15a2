#include "platform/OrvelDesktopIntegration.h"

#include <windows.h>

#include <shobjidl.h>

namespace OrvelPlatform
{

void SetProcessAppUserModelId(const QString& strId)
{
    const std::wstring strWide = strId.toStdWString();
    ::SetCurrentProcessExplicitAppUserModelID(strWide.c_str());
}

void ApplyNativeWindowIcons(quintptr nWindowId)
{
    HWND hWnd = reinterpret_cast<HWND>(nWindowId);
    if (hWnd == nullptr || !::IsWindow(hWnd))
        return;
    // Loaded once, shared by every window, never freed.
    static HANDLE s_hSmall =
        ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON,
                     ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), 0);
    static HANDLE s_hLarge = ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON,
                                          ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON), 0);
    if (s_hSmall != nullptr)
    {
        ::SendMessageW(hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(s_hSmall));
        ::SetClassLongPtrW(hWnd, GCLP_HICONSM, reinterpret_cast<LONG_PTR>(s_hSmall));
    }
    if (s_hLarge != nullptr)
    {
        ::SendMessageW(hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(s_hLarge));
        ::SetClassLongPtrW(hWnd, GCLP_HICON, reinterpret_cast<LONG_PTR>(s_hLarge));
    }
}

} // namespace OrvelPlatform
