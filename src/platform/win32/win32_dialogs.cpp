#include "platform/win32/win32_dialogs.h"

#include <commdlg.h>

#include <algorithm>

#include "platform/os_path.h"

namespace velk2 {

namespace {

// Windows keeps '\' in its dialogs; a folder remembered with '/' opens too.
std::wstring native_folder(const std::string& folder) {
    std::wstring w = widen(folder);
    for (auto& ch : w)
        if (ch == L'/') ch = L'\\';
    return w;
}

} // namespace

void show_message_box(HWND owner, const std::string& text, const std::string& title) {
    MessageBoxW(owner, widen(text).c_str(), widen(title).c_str(), MB_OK | MB_TASKMODAL);
}

std::string choose_file(HWND owner, const FileDialogRequest& request, bool save) {
    // The filter list: a description and a pattern, each ending in a zero,
    // the list in two. Matching is case-blind on Windows. Several patterns
    // ("*.DSP *.JPG") are separated by semicolons there.
    std::wstring pattern = request.pattern.empty() ? L"*.*" : widen(request.pattern);
    std::replace(pattern.begin(), pattern.end(), L' ', L';');
    std::wstring filter = pattern + L'\0' + pattern + L'\0' + L'\0';

    std::wstring name = native_folder(request.default_name);
    name.resize(std::max<std::size_t>(name.size() + 1, 32768), L'\0');
    const std::wstring folder = native_folder(request.folder);
    const std::wstring title = widen(request.title);

    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = name.data();
    ofn.nMaxFile = DWORD(name.size());
    ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    ofn.lpstrTitle = title.c_str();
    // The current directory is the program's and stays as it was.
    ofn.Flags = OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST | OFN_EXPLORER | OFN_HIDEREADONLY;
    if (!save) ofn.Flags |= OFN_FILEMUSTEXIST;
    const BOOL chosen = save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
    if (!chosen) return {};
    return narrow(std::wstring(name.c_str()));
}

} // namespace velk2
