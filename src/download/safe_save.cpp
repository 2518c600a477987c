#include "download/safe_save.h"

#include <filesystem>

#include "platform/new_file.h"
#include "platform/os_path.h"

namespace velk2 {

namespace {

namespace fs = std::filesystem;

// A companion name in the same folder, so that the rename never crosses a
// file system. A name that is taken belongs to someone else: the next one is
// tried, the taken one is never touched.
constexpr int companion_names = 100;

} // namespace

std::error_code save_file_atomically(const std::string& path, std::string_view bytes) {
    std::error_code ec = std::make_error_code(std::errc::file_exists);
    std::string companion;
    bool created = false;
    for (int n = 0; n < companion_names && ec == std::errc::file_exists && !created; ++n) {
        companion = path + ".part" + std::to_string(n);
        ec = write_new_file(companion, bytes, created);
    }
    if (!ec) fs::rename(os_path(companion), os_path(path), ec);
    if (ec && created) {
        std::error_code ignored;
        fs::remove(os_path(companion), ignored);
    }
    return ec;
}

} // namespace velk2
