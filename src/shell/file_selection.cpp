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
#include <system_error>

#include "platform/os_path.h"
#include "session/settings.h"
#include "shell/panel.h"
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
    status_text(ctx, upload_file_field, ctx.upload_file);
    apply_selected_file(ctx);
}

void enable_for_type(Context& ctx) {
    const std::string type = file_type(ctx.upload_file);
    if (type == "DSP" || type == "JPG") ctx.report->enable(Button::upload, true);
    // The delivered build has no "Service to Box"; enabling it is a no-op.
    if (type == "BIN") ctx.report->enable(Button::service, true);
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

// The types whose file goes to the box as it is (a JPG inside its image).
bool uploadable(const std::string& type) {
    return type == "DSP" || type == "JPG" || type == "BIN";
}

// An empty image would go out as a complete upload ("done") and leave the box
// with nothing to start.
std::string empty_text(const std::string& path) {
    return "The file " + path + " is empty: there is nothing to upload.";
}

// The bytes of the upload file, or why they cannot be had. The file system
// is asked first: something that is no regular file (a folder, a FIFO, a
// device) is never opened, since reading it could block or never end, and
// a file too big for any upload is never read into memory.
std::optional<std::string> read_upload_bytes(const std::string& path, const std::string& type,
                                             std::string& problem) {
    std::error_code ec;
    const fs::file_status st = fs::status(os_path(path), ec);
    if (ec || !fs::is_regular_file(st)) {
        problem = "Cannot read the file " + path + ": " +
                  (ec                     ? ec.message()
                   : fs::is_directory(st) ? std::string("it is a folder")
                   : !fs::exists(st)
                       ? std::make_error_code(std::errc::no_such_file_or_directory).message()
                       : std::string("it is not a regular file"));
        return std::nullopt;
    }
    const std::uint64_t size = fs::file_size(os_path(path), ec);
    if (ec) {
        problem = "Cannot read the file " + path + ": " + ec.message();
        return std::nullopt;
    }
    if (size > read_limit(type)) {
        problem = too_big_text(type, size);
        return std::nullopt;
    }
    if (size == 0 && uploadable(type)) {
        problem = empty_text(path);
        return std::nullopt;
    }
    errno = 0;
    std::FILE* f = open_file(path, "rb");
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
    if (bytes.empty() && uploadable(type)) {
        problem = empty_text(path);
        return std::nullopt;
    }
    return bytes;
}

// A file that cannot be uploaded leaves nothing behind: no data, no picture,
// no length, and no button that could send it.
void refuse_upload_file(Context& ctx, const std::string& why) {
    ctx.upload_data.clear();
    ctx.upload_ready = false;
    ctx.report->enable(Button::upload, false);
    ctx.report->enable(Button::service, false);
    ctx.window.get(control::picture).picture.clear();
    ctx.window_heights[0] = 1;
    Win_1_Activate(ctx);
    ctx.platform.diag(why);
    ctx.platform.message_box(why, "VELK2");
}

} // namespace

void cm2_Click(Context& ctx) {
    choose(ctx, dsp_chooser);
}
void cm3_Click(Context& ctx) {
    choose(ctx, jpg_chooser);
}
void cmbin_Click(Context& ctx) {
    choose(ctx, bin_chooser);
}

void apply_selected_file(Context& ctx) {
    if (path_exists(ctx.upload_file)) {
        if (!prepare_upload_file(ctx)) return;
        enable_for_type(ctx);
        if (ctx.save_last_file) store_setting(ctx, "LAST", "ALL", ctx.upload_file);
        return;
    }
    ctx.report->enable(Button::upload, false);
    ctx.upload_file = read_setting(ctx, "LAST", "ALL");
    status_text(ctx, upload_file_field, ctx.upload_file);
    if (path_exists(ctx.upload_file)) {
        if (prepare_upload_file(ctx)) enable_for_type(ctx);
        return;
    }
    // Nothing is prepared, so nothing of an earlier file may stay ready to
    // go out under the name now shown.
    ctx.upload_data.clear();
    ctx.upload_ready = false;
}

bool apply_named_file(Context& ctx) {
    if (!prepare_upload_file(ctx)) return false;
    enable_for_type(ctx);
    if (ctx.save_last_file) store_setting(ctx, "LAST", "ALL", ctx.upload_file);
    return true;
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
    Control& picture = ctx.window.get(control::picture);
    ctx.window_heights[0] = 1;
    if (type == "JPG") {
        ctx.window_heights[0] = 2;
        // A file that is no picture shows none, never the one chosen before.
        picture.picture = ctx.platform.load_picture(ctx.upload_file) ? ctx.upload_file : "";
        ++ctx.window.revision;
        std::ofstream rom(os_path(ctx.work_dir + "rom.dsp"), std::ios::binary | std::ios::trunc);
        rom.write(data.data(), std::streamsize(data.size()));
        if (!rom) ctx.platform.diag("rom.dsp not written");
    }
    ctx.upload_data = std::move(data);
    ctx.upload_ready = true;
    Win_1_Activate(ctx);
    ctx.report->file_length(static_cast<std::int64_t>(ctx.upload_data.size()));
    return true;
}

} // namespace velk2
