#include "platform/unnamed_file.h"

#if defined(__linux__)
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>
#endif

namespace velk2 {

#if defined(__linux__) && defined(O_TMPFILE)

namespace {

std::error_code error(int code) {
    return std::error_code(code ? code : EIO, std::generic_category());
}

const std::error_code not_supported = std::make_error_code(std::errc::operation_not_supported);

// Gives the unnamed file `fd` the name `path`. Linking through the descriptor
// itself needs a privilege most users lack; /proc/self/fd names the same file
// for everyone else.
int link_as(int fd, const std::string& path) {
    if (::linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0) return 0;
    if (errno != ENOENT && errno != EPERM) return errno;
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
    const int code = errno;
    // Without /proc the file cannot get a name here at all.
    if (code == ENOENT && ::access("/proc/self/fd", F_OK) != 0) return EOPNOTSUPP;
    return code;
}

// Whether a failed link means that this file system keeps no links of
// unnamed files, rather than a fault of this save.
bool link_unsupported(int code) {
    return code == EOPNOTSUPP || code == EPERM;
}

} // namespace

std::error_code save_through_unnamed_file(const std::string& path, std::string_view bytes,
                                          const std::function<std::string(int)>& companion,
                                          int companion_count, const WriteProgress& progress) {
    std::string folder = std::filesystem::path(path).parent_path().string();
    if (folder.empty()) folder = ".";
    errno = 0;
    // The mode goes through the umask as for any new file.
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0) {
        // EISDIR: a kernel without O_TMPFILE; EOPNOTSUPP: a file system without it.
        const int code = errno;
        if (code == EOPNOTSUPP || code == EISDIR || code == EINVAL) return not_supported;
        return error(code);
    }
    // Closed only after it has a name: a closed unnamed file is gone.
    if (const std::error_code ec = write_and_flush(fd, bytes, progress)) {
        ::close(fd);
        return ec;
    }
    int code = link_as(fd, path);
    if (code == EEXIST) {
        for (int n = 0; n < companion_count && code == EEXIST; ++n) {
            const std::string other = companion(n);
            code = link_as(fd, other);
            if (code != 0) continue; // EEXIST: someone else's name, the next one
            if (std::rename(other.c_str(), path.c_str()) != 0) {
                code = errno;
                ::unlink(other.c_str());
            }
            break;
        }
    }
    ::close(fd);
    if (link_unsupported(code)) return not_supported;
    return code ? error(code) : std::error_code();
}

#else

std::error_code save_through_unnamed_file(const std::string&, std::string_view,
                                          const std::function<std::string(int)>&, int,
                                          const WriteProgress&) {
    return std::make_error_code(std::errc::operation_not_supported);
}

#endif

} // namespace velk2
