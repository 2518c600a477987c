#include "download/safe_save.h"

#include <chrono>
#include <filesystem>

#include "platform/new_file.h"
#include "platform/os_path.h"
#include "platform/unnamed_file.h"

namespace velk2 {

namespace {

namespace fs = std::filesystem;

// A companion name in the same folder, so that the rename never crosses a
// file system. A name that is taken belongs to someone else: the next one is
// tried, the taken one is never touched.
constexpr int companion_names = 100;
constexpr std::string_view companion_mark = ".velk2-part";

bool is_companion(const std::string& name) {
    const std::size_t mark = name.rfind(companion_mark);
    if (mark == std::string::npos || mark == 0) return false;
    const std::string number = name.substr(mark + companion_mark.size());
    return !number.empty() && number.size() <= 2 &&
           number.find_first_not_of("0123456789") == std::string::npos;
}

// What a save that died (a killed program, a power cut) left in the folder.
void remove_stale_companions(const fs::path& folder) {
    std::error_code ec;
    const auto limit =
        fs::file_time_type::clock::now() - std::chrono::minutes(stale_companion_minutes);
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code entry_ec;
        if (!is_companion(path_text(it->path().filename())) || !it->is_regular_file(entry_ec) ||
            entry_ec)
            continue;
        const auto written = fs::last_write_time(it->path(), entry_ec);
        if (!entry_ec && written < limit) fs::remove(it->path(), entry_ec);
    }
}

std::error_code save_through_companion(const std::string& path, std::string_view bytes,
                                       const WriteProgress& progress) {
    std::error_code ec = std::make_error_code(std::errc::file_exists);
    std::string companion;
    bool created = false;
    for (int n = 0; n < companion_names && ec == std::errc::file_exists && !created; ++n) {
        companion = companion_name(path, n);
        ec = write_new_file(companion, bytes, created, progress);
    }
    if (!ec) fs::rename(os_path(companion), os_path(path), ec);
    if (ec && created) {
        std::error_code ignored;
        fs::remove(os_path(companion), ignored);
    }
    return ec;
}

} // namespace

std::string companion_name(const std::string& path, int n) {
    return path + std::string(companion_mark) + std::to_string(n);
}

std::error_code save_file_atomically(const std::string& path, std::string_view bytes,
                                     const SaveOptions& options) {
    fs::path folder = os_path(path).parent_path();
    remove_stale_companions(folder.empty() ? fs::path(".") : folder);
    if (options.unnamed_file) {
        const auto named = [&path](int n) { return companion_name(path, n); };
        const std::error_code ec =
            save_through_unnamed_file(path, bytes, named, companion_names, options.progress);
        if (ec != std::errc::operation_not_supported) return ec;
    }
    return save_through_companion(path, bytes, options.progress);
}

} // namespace velk2
