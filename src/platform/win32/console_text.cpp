#include "platform/win32/console_text.h"

#include "platform/os_path.h"
#include "platform/win32/win32_api.h"

namespace velk2 {

namespace {

bool usable(HANDLE h) {
    return h != nullptr && h != INVALID_HANDLE_VALUE;
}

std::string crlf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

// A console takes characters; a pipe or a file takes the UTF-8 bytes.
bool write_all(HANDLE h, const std::string& text) {
    DWORD mode = 0;
    if (GetConsoleMode(h, &mode)) {
        const std::wstring wide = widen(text);
        DWORD written = 0;
        return WriteConsoleW(h, wide.data(), DWORD(wide.size()), &written, nullptr) &&
               written == wide.size();
    }
    std::size_t done = 0;
    while (done < text.size()) {
        DWORD written = 0;
        if (!WriteFile(h, text.data() + done, DWORD(text.size() - done), &written, nullptr) ||
            written == 0)
            return false;
        done += written;
    }
    return true;
}

} // namespace

bool write_to_caller(const std::string& text, const std::string& title) {
    const std::string lines = crlf(text);
    if (const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE); usable(out))
        return write_all(out, lines);
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        const HANDLE console =
            CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (usable(console)) {
            // The prompt was printed before we started: begin on a line of our own.
            const bool ok = write_all(console, "\r\n" + lines);
            CloseHandle(console);
            FreeConsole();
            return ok;
        }
        FreeConsole();
    }
    return MessageBoxW(nullptr, widen(lines).c_str(), widen(title).c_str(), MB_OK) != 0;
}

} // namespace velk2
