#include "platform/new_file.h"

#include <algorithm>

#include "platform/os_path.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace velk2 {

#ifdef _WIN32

namespace {

std::error_code last_error() {
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS)
        return std::make_error_code(std::errc::file_exists);
    return std::error_code(int(code), std::system_category());
}

} // namespace

std::error_code write_new_file(const std::string& path, std::string_view bytes, bool& created,
                               const WriteProgress& progress) {
    created = false;
    // CREATE_NEW fails on any existing name: an existing file is never opened.
    const HANDLE file = CreateFileW(widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return last_error();
    created = true;
    std::error_code ec;
    for (std::size_t done = 0; done < bytes.size() && !ec;) {
        const DWORD piece = DWORD(std::min(bytes.size() - done, write_piece_size));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data() + done, piece, &written, nullptr) || written == 0)
            ec = last_error();
        done += written;
        if (!ec && progress) progress(done);
    }
    if (!ec && !FlushFileBuffers(file)) ec = last_error();
    if (!CloseHandle(file) && !ec) ec = last_error();
    return ec;
}

#else

namespace {

std::error_code last_error() {
    return std::error_code(errno ? errno : EIO, std::generic_category());
}

} // namespace

std::error_code write_and_flush(int fd, std::string_view bytes, const WriteProgress& progress) {
    std::error_code ec;
    for (std::size_t done = 0; done < bytes.size() && !ec;) {
        errno = 0;
        const ssize_t n =
            ::write(fd, bytes.data() + done, std::min(bytes.size() - done, write_piece_size));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            // Over a file-size limit the write fails with EFBIG, as a full
            // disk fails with ENOSPC (SIGXFSZ is ignored for that).
            ec = last_error();
        } else {
            done += std::size_t(n);
            if (progress) progress(done);
        }
    }
    if (!ec && ::fsync(fd) != 0) ec = last_error();
    return ec;
}

std::error_code write_new_file(const std::string& path, std::string_view bytes, bool& created,
                               const WriteProgress& progress) {
    created = false;
    errno = 0;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return last_error();
    created = true;
    std::error_code ec = write_and_flush(fd, bytes, progress);
    if (::close(fd) != 0 && !ec) ec = last_error();
    return ec;
}

#endif

} // namespace velk2
