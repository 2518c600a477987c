#include "platform/win32/registry_settings.h"

#include "platform/os_path.h"
#include "platform/win32/win32_api.h"

namespace velk2 {

namespace {

std::wstring key_path(const std::string& section) {
    return L"Software\\VELK2\\" + widen(section);
}

} // namespace

std::string read_registry_setting(const std::string& section, const std::string& key) {
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key_path(section).c_str(), 0, KEY_QUERY_VALUE, &raw) !=
        ERROR_SUCCESS)
        return {};
    const OwnedKey owned(raw);
    const std::wstring name = widen(key);
    DWORD type = 0, bytes = 0;
    if (RegQueryValueExW(raw, name.c_str(), nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
        type != REG_SZ)
        return {};
    // The value may change between the two calls; a second miss reads as empty.
    std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
    DWORD got = DWORD(text.size() * sizeof(wchar_t));
    if (RegQueryValueExW(raw, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(text.data()),
                         &got) != ERROR_SUCCESS ||
        type != REG_SZ)
        return {};
    text.resize(got / sizeof(wchar_t));
    // A REG_SZ is stored with its terminating zero, or sometimes without.
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return narrow(text);
}

bool store_registry_setting(const std::string& section, const std::string& key,
                            const std::string& value) {
    HKEY raw = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, key_path(section).c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                        nullptr, &raw, nullptr) != ERROR_SUCCESS)
        return false;
    const OwnedKey owned(raw);
    const std::wstring text = widen(value);
    const DWORD bytes = DWORD((text.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(raw, widen(key).c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(text.c_str()), bytes) == ERROR_SUCCESS;
}

} // namespace velk2
