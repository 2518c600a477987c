#include "session/files.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/os_path.h"
#include "session/settings.h"

namespace velk2 {

namespace {

namespace fs = std::filesystem;

long long file_length(const std::string& path) {
    std::error_code ec;
    auto n = fs::file_size(os_path(path), ec);
    return ec ? -1 : static_cast<long long>(n);
}

} // namespace

std::string jpg_refusal(const std::string& path) {
    std::error_code ec;
    const fs::file_status st = fs::status(os_path(path), ec);
    if (!fs::is_regular_file(st)) {
        const std::string why =
            fs::is_directory(st) ? "it is a folder"
            : fs::exists(st)     ? "it is not a regular file"
            : ec                 ? ec.message()
                 : std::make_error_code(std::errc::no_such_file_or_directory).message();
        return "The picture " + path + " cannot be used: " + why + ".";
    }
    const long long n = file_length(path);
    if (n > jpg_dialog_limit)
        return "The picture " + path + " is " + std::to_string(n) +
               " bytes: the welcome screen takes at most " + std::to_string(jpg_dialog_limit) + ".";
    return {};
}

std::size_t last_separator(const std::string& path) {
#ifdef _WIN32
    return path.find_last_of("\\/");
#else
    return path.rfind('/');
#endif
}

bool is_full_path(const std::string& path) {
#ifdef _WIN32
    return path.size() > 3 && path.compare(1, 2, ":\\") == 0;
#else
    return !path.empty() && path.front() == '/';
#endif
}

std::string file_type(const std::string& name) {
    std::string t = name.size() >= 3 ? name.substr(name.size() - 3) : name;
    for (auto& ch : t) ch = char(std::toupper(static_cast<unsigned char>(ch)));
    return t;
}

bool file_exists(const std::string& path) {
    std::error_code ec;
    return !path.empty() && fs::is_regular_file(os_path(path), ec);
}

bool path_exists(const std::string& path) {
    std::error_code ec;
    return !path.empty() && fs::exists(os_path(path), ec);
}

bool readable_file(const std::string& path) {
    if (!file_exists(path)) return false;
    std::FILE* f = open_file(path, "rb");
    if (f) std::fclose(f);
    return f != nullptr;
}

std::string select_file(Context& ctx, const std::string& title, const std::string& start,
                        const std::string& type, bool save) {
    const auto p = last_separator(start);
    const std::string root(1, folder_separator);
    FileDialogRequest request;
    request.title = title;
    if (p != std::string::npos && p > 0) {
        request.folder = start.substr(0, p + 1);
        request.default_name = start.substr(p + 1);
    } else if (p == 0) {
        request.folder = root;
        request.default_name = start.substr(1);
    } else {
        // No folder stored: the bare pattern at the root, as the dialog always did.
        request.folder = root;
        request.default_name = start;
    }
    request.pattern = "*." + type;
    const std::string result = ctx.platform.file_dialog(request, save);
    // A save name is the caller's to remember once the file is written; only
    // the empty name of a cancelled dialog is no name there.
    if (save) return result;
    if (result.size() <= 3) return {};
    // Refused, not just ignored: the technician learns why nothing changed.
    if (type == "JPG") {
        if (const std::string why = jpg_refusal(result); !why.empty()) {
            ctx.platform.message_box(why, "VELK2");
            return {};
        }
    }
    // A file that cannot be read is not remembered: the next dialog must not
    // start from it. Its refusal is the caller's to show.
    if (!readable_file(result)) return result;
    store_setting(ctx, "LAST", type, result);
    return result;
}

} // namespace velk2
