#include "platform/durable_append.h"

#include <filesystem>
#include <vector>

#include "platform/os_path.h"

#ifdef _WIN32
#include "platform/win32/win32_api.h"
#include "platform/win32_error.h"
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace velk2 {

namespace {

namespace fs = std::filesystem;

// What goes into a file of `size` bytes whose last byte is `last`.
std::string addition(std::uintmax_t size, char last, const std::string& header,
                     const std::string& line) {
    if (size == 0) return header + line;
    if (line.empty()) return {};
    return last == '\n' ? line : "\n" + line;
}

// The folders above `file` that do not exist yet, the highest first.
std::vector<fs::path> missing_folders(const fs::path& file) {
    std::vector<fs::path> missing;
    std::error_code ec;
    for (fs::path folder = file.parent_path(); !folder.empty() && !fs::exists(folder, ec);
         folder = folder.parent_path()) {
        missing.insert(missing.begin(), folder);
        if (folder == folder.parent_path()) break;
    }
    return missing;
}

} // namespace

#ifdef _WIN32

std::error_code append_durably(const std::string& path, const std::string& header,
                               const std::string& line) {
    const fs::path file = os_path(path);
    std::error_code ec;
    if (!missing_folders(file).empty()) {
        fs::create_directories(file.parent_path(), ec);
        if (ec) return ec;
    }
    const DWORD attributes = GetFileAttributesW(file.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::make_error_code(std::errc::is_a_directory);
    // Append access only: every write lands at the end, whoever else writes.
    const OwnedHandle handle(CreateFileW(file.c_str(), FILE_APPEND_DATA | FILE_READ_DATA,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (handle.get() == INVALID_HANDLE_VALUE) return last_win32_error();
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(handle.get(), &size)) return last_win32_error();
    char last = '\n';
    if (size.QuadPart > 0) {
        OVERLAPPED at{};
        const auto offset = static_cast<unsigned long long>(size.QuadPart - 1);
        at.Offset = DWORD(offset);
        at.OffsetHigh = DWORD(offset >> 32);
        DWORD got = 0;
        if (!ReadFile(handle.get(), &last, 1, &got, &at) || got != 1) return last_win32_error();
    }
    const std::string bytes = addition(std::uintmax_t(size.QuadPart), last, header, line);
    for (std::size_t done = 0; done < bytes.size();) {
        OVERLAPPED end{};
        end.Offset = end.OffsetHigh = 0xFFFFFFFF; // at the end of the file
        DWORD written = 0;
        if (!WriteFile(handle.get(), bytes.data() + done, DWORD(bytes.size() - done), &written,
                       &end) ||
            written == 0)
            return last_win32_error();
        done += written;
    }
    if (!FlushFileBuffers(handle.get())) return last_win32_error();
    return {};
}

#else

namespace {

std::error_code os_error() {
    return std::error_code(errno ? errno : EIO, std::generic_category());
}

// A folder's entries on the disk: the name of a file or folder made in it
// survives a crash only then.
void sync_folder(const fs::path& folder) {
    const int fd =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

} // namespace

std::error_code append_durably(const std::string& path, const std::string& header,
                               const std::string& line) {
    const fs::path file = os_path(path);
    std::error_code ec;
    const std::vector<fs::path> made = missing_folders(file);
    if (!made.empty()) {
        fs::create_directories(file.parent_path(), ec);
        if (ec) return ec;
    }
    // O_NONBLOCK: a FIFO with nobody reading fails at once instead of
    // hanging the caller; a regular file does not care.
    constexpr int flags = O_WRONLY | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    bool created = true;
    errno = 0;
    int fd = ::open(path.c_str(), flags | O_CREAT | O_EXCL, 0666);
    if (fd < 0 && errno == EEXIST) {
        created = false;
        errno = 0;
        fd = ::open(path.c_str(), flags);
    }
    if (fd < 0) return os_error();
    const Fd owner(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0) return os_error();
    char last = '\n';
    if (S_ISREG(st.st_mode) && st.st_size > 0) {
        // Read through a descriptor of its own: this one only writes.
        const Fd reader(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
        if (reader.get() < 0 || ::pread(reader.get(), &last, 1, st.st_size - 1) != 1)
            return os_error();
    }
    const std::string bytes =
        addition(S_ISREG(st.st_mode) ? std::uintmax_t(st.st_size) : 0, last, header, line);
    for (std::size_t done = 0; done < bytes.size();) {
        errno = 0;
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return os_error();
        done += std::size_t(n);
    }
    if (::fsync(fd) != 0) return os_error();
    if (created) sync_folder(file.parent_path());
    for (const auto& folder : made) sync_folder(folder.parent_path());
    return {};
}

#endif

} // namespace velk2
