#include "shell/file_selection.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "serial/status_trace.h"
#include "shell/main_window.h"
#include "shell/number_format.h"
#include "shell/settings.h"
#include "upload/fs_image.h"
#include "upload/jpg_wrap.h"
#include "upload/upload_limits.h"
#include "upload/ymodem_stream.h"

namespace velk2 {

namespace {

namespace fs = std::filesystem;

struct Chooser {
    const char* type;
    const char* title;
};

constexpr Chooser dsp_chooser{"DSP", "Select DSP file(load)"};
constexpr Chooser jpg_chooser{"JPG", "Select JPG file(load) maxsize:63000-byte"};
constexpr Chooser bin_chooser{"BIN", "Select BIN file(load)"};

void choose(Context& ctx, const Chooser& c) {
    const std::string start = read_setting(ctx, "LAST", c.type);
    const std::string name = select_file(ctx, c.title, start, c.type);
    if (name.size() <= 7) return;
    ctx.upload_file = name;
    status_text(ctx, 28, 10, 50, ctx.upload_file);
    apply_selected_file(ctx);
}

void enable_for_type(Context& ctx) {
    const std::string type = file_type(ctx.upload_file);
    if (type == "DSP" || type == "JPG") set_enabled(ctx.window, "cm1", true);
    // The delivered build has no "Service to Box"; enabling it is a no-op.
    if (type == "BIN") set_enabled(ctx.window, "cmbinup", true);
}

long long file_length(const std::string& path) {
    std::error_code ec;
    auto n = fs::file_size(path, ec);
    return ec ? -1 : static_cast<long long>(n);
}

// The largest upload file of `type` the loader reads: a picture whose image
// still fits the 16-bit length field, anything else what one stream carries.
std::uint64_t read_limit(const std::string& type) {
    return type == "JPG" ? fs_image_max_jpg : stream_max_payload;
}

std::string too_big_text(const std::string& type, std::uint64_t size) {
    if (type == "JPG")
        return "The JPG picture is too big for the welcome screen: " + std::to_string(size) +
               " bytes, at most " + std::to_string(fs_image_max_jpg) + " fit.";
    return *payload_refusal("", size);
}

// The bytes of the upload file, or why they cannot be had. The file system
// is asked first: something that is no regular file (a folder, a FIFO, a
// device) is never opened, since reading it could block or never end, and
// a file too big for any upload is never read into memory.
std::optional<std::string> read_upload_bytes(const std::string& path, const std::string& type,
                                             std::string& problem) {
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (ec || !fs::is_regular_file(st)) {
        problem = "Cannot read the file " + path + ": " +
                  (ec                     ? ec.message()
                   : fs::is_directory(st) ? std::string("it is a folder")
                                          : std::string("it is not a regular file"));
        return std::nullopt;
    }
    const std::uint64_t size = fs::file_size(path, ec);
    if (ec) {
        problem = "Cannot read the file " + path + ": " + ec.message();
        return std::nullopt;
    }
    if (size > read_limit(type)) {
        problem = too_big_text(type, size);
        return std::nullopt;
    }
    errno = 0;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        problem = "Cannot read the file " + path + ": " +
                  std::generic_category().message(errno ? errno : EIO);
        return std::nullopt;
    }
    std::string bytes(static_cast<std::size_t>(size), '\0');
    const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
    const bool failed = std::ferror(f) != 0;
    const int err = errno;
    std::fclose(f);
    if (failed) {
        problem = "Cannot read the file " + path + ": " +
                  std::generic_category().message(err ? err : EIO);
        return std::nullopt;
    }
    // A file that shrank meanwhile is taken as it is now.
    bytes.resize(got);
    return bytes;
}

// A file that cannot be uploaded leaves nothing behind: no data, no picture,
// no length, and no button that could send it.
void refuse_upload_file(Context& ctx, const std::string& why) {
    ctx.upload_data.clear();
    ctx.upload_ready = false;
    set_enabled(ctx.window, "cm1", false);
    set_enabled(ctx.window, "cmbinup", false);
    ctx.window.get("im1").picture.clear();
    ctx.window_heights[0] = 1;
    Win_1_Activate(ctx);
    ctx.platform.diag(why);
    ctx.platform.message_box(why, "VELK2");
}

} // namespace

std::string file_type(const std::string& name) {
    std::string t = name.size() >= 3 ? name.substr(name.size() - 3) : name;
    for (auto& ch : t) ch = char(std::toupper(static_cast<unsigned char>(ch)));
    return t;
}

bool file_exists(const std::string& path) {
    std::error_code ec;
    return !path.empty() && fs::is_regular_file(path, ec);
}

bool path_exists(const std::string& path) {
    std::error_code ec;
    return !path.empty() && fs::exists(path, ec);
}

bool readable_file(const std::string& path) {
    if (!file_exists(path)) return false;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f) std::fclose(f);
    return f != nullptr;
}

void cm2_Click(Context& ctx) {
    choose(ctx, dsp_chooser);
}
void cm3_Click(Context& ctx) {
    choose(ctx, jpg_chooser);
}
void cmbin_Click(Context& ctx) {
    choose(ctx, bin_chooser);
}

std::string select_file(Context& ctx, const std::string& title, const std::string& start,
                        const std::string& type, bool save) {
    const auto p = start.rfind('/');
    FileDialogRequest request;
    request.title = title;
    if (p != std::string::npos && p > 0) {
        request.folder = start.substr(0, p + 1);
        request.default_name = start.substr(p + 1);
    } else if (p == 0) {
        request.folder = "/";
        request.default_name = start.substr(1);
    } else {
        // No folder stored: the bare pattern at the root, as the dialog always did.
        request.folder = "/";
        request.default_name = start;
    }
    request.pattern = "*." + type;
    const std::string result = ctx.platform.file_dialog(request, save);
    if (result.size() <= 3) return {};
    if (type == "JPG") {
        long long n = file_length(result);
        if (!file_exists(result) || n > jpg_dialog_limit) return {};
    }
    // A file that cannot be read is not remembered: the next dialog must not
    // start from it. Its refusal is the caller's to show.
    if (!save && !readable_file(result)) return result;
    store_setting(ctx, "LAST", type, result);
    return result;
}

void apply_selected_file(Context& ctx) {
    if (path_exists(ctx.upload_file)) {
        if (!prepare_upload_file(ctx)) return;
        enable_for_type(ctx);
        if (ctx.save_last_file) store_setting(ctx, "LAST", "ALL", ctx.upload_file);
        return;
    }
    set_enabled(ctx.window, "cm1", false);
    ctx.upload_file = read_setting(ctx, "LAST", "ALL");
    status_text(ctx, 28, 10, 50, ctx.upload_file);
    if (path_exists(ctx.upload_file)) {
        if (prepare_upload_file(ctx)) enable_for_type(ctx);
        return;
    }
    // Nothing is prepared, so nothing of an earlier file may stay ready to
    // go out under the name now shown.
    ctx.upload_data.clear();
    ctx.upload_ready = false;
}

bool prepare_upload_file(Context& ctx) {
    const std::string type = file_type(ctx.upload_file);
    std::string problem;
    auto bytes = read_upload_bytes(ctx.upload_file, type, problem);
    if (!bytes) {
        refuse_upload_file(ctx, problem);
        return false;
    }
    std::string data = type == "JPG" ? wrap_jpg(*bytes) : std::move(*bytes);
    if (type == "DSP" || type == "JPG") {
        if (auto refusal = payload_refusal(ctx.upload_file, data.size())) {
            refuse_upload_file(ctx, *refusal);
            return false;
        }
    }
    Control& picture = ctx.window.get("im1");
    ctx.window_heights[0] = 1;
    if (type == "JPG") {
        ctx.window_heights[0] = 2;
        // A file that is no picture shows none, never the one chosen before.
        picture.picture = ctx.platform.load_picture(ctx.upload_file) ? ctx.upload_file : "";
        ++ctx.window.revision;
        std::ofstream rom(ctx.work_dir + "rom.dsp", std::ios::binary | std::ios::trunc);
        rom.write(data.data(), std::streamsize(data.size()));
        if (!rom) ctx.platform.diag("rom.dsp not written");
    }
    ctx.upload_data = std::move(data);
    ctx.upload_ready = true;
    Win_1_Activate(ctx);
    status_text(ctx, 91, 12, 9, format_length(static_cast<std::int64_t>(ctx.upload_data.size())));
    return true;
}

} // namespace velk2
