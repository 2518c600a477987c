#include "platform/win32_error.h"

#ifdef _WIN32

#include "platform/os_path.h"
#include "platform/win32/win32_api.h"

namespace velk2 {

namespace {

class Win32Category final : public std::error_category {
  public:
    const char* name() const noexcept override { return "win32"; }
    std::string message(int code) const override {
        return win32_error_text(static_cast<unsigned long>(code));
    }
    std::error_condition default_error_condition(int code) const noexcept override {
        switch (static_cast<DWORD>(code)) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
            return std::errc::no_such_file_or_directory;
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT:
            return std::errc::permission_denied;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return std::errc::device_or_resource_busy;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return std::errc::no_space_on_device;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return std::errc::file_exists;
        case ERROR_DIRECTORY:
            return std::errc::not_a_directory;
        case ERROR_BROKEN_PIPE:
        case ERROR_NO_DATA:
            return std::errc::broken_pipe;
        default:
            return std::error_condition(code, *this);
        }
    }
};

} // namespace

std::string win32_error_text(unsigned long code) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::string message = n > 0 && text ? narrow(std::wstring(text, n)) : "";
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == '.' || message.back() == ' '))
        message.pop_back();
    return message.empty() ? "error " + std::to_string(code) : message;
}

std::error_code win32_error(unsigned long code) {
    static const Win32Category category;
    return std::error_code(static_cast<int>(code), category);
}

std::error_code last_win32_error() {
    return win32_error(GetLastError());
}

} // namespace velk2

#endif
