#include "shell/file_selection.h"

#include <algorithm>
#include <cctype>
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

std::optional<std::string> read_whole_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    if (f.bad()) return std::nullopt;
    return bytes;
}

long long file_length(const std::string& path) {
    std::error_code ec;
    auto n = fs::file_size(path, ec);
    return ec ? -1 : static_cast<long long>(n);
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
    store_setting(ctx, "LAST", type, result);
    return result;
}

void apply_selected_file(Context& ctx) {
    if (file_exists(ctx.upload_file)) {
        enable_for_type(ctx);
        if (ctx.save_last_file) store_setting(ctx, "LAST", "ALL", ctx.upload_file);
        prepare_upload_file(ctx);
        return;
    }
    set_enabled(ctx.window, "cm1", false);
    ctx.upload_file = read_setting(ctx, "LAST", "ALL");
    status_text(ctx, 28, 10, 50, ctx.upload_file);
    if (file_exists(ctx.upload_file)) {
        enable_for_type(ctx);
        prepare_upload_file(ctx);
    }
}

void prepare_upload_file(Context& ctx) {
    auto bytes = read_whole_file(ctx.upload_file);
    if (!bytes) {
        set_enabled(ctx.window, "cm1", false);
        ctx.platform.message_box("Cannot read the file " + ctx.upload_file, "VELK2");
        return;
    }
    std::size_t size = bytes->size();
    ctx.window_heights[0] = 1;
    if (file_type(ctx.upload_file) == "JPG") {
        // A bigger picture would not fit the image's 16-bit length field and
        // the box would get a corrupt welcome screen.
        if (bytes->size() > fs_image_max_jpg) {
            set_enabled(ctx.window, "cm1", false);
            ctx.upload_data.clear();
            ctx.platform.message_box("The JPG picture is too big for the welcome screen: " +
                                         std::to_string(bytes->size()) + " bytes, at most " +
                                         std::to_string(fs_image_max_jpg) + " fit.",
                                     "VELK2");
            Win_1_Activate(ctx);
            return;
        }
        ctx.window_heights[0] = 2;
        if (ctx.platform.load_picture(ctx.upload_file)) {
            ctx.window.get("im1").picture = ctx.upload_file;
            ++ctx.window.revision;
        }
        ctx.upload_data = wrap_jpg(*bytes);
        std::ofstream rom("rom.dsp", std::ios::binary | std::ios::trunc);
        rom.write(ctx.upload_data.data(), std::streamsize(ctx.upload_data.size()));
        if (!rom) ctx.platform.diag("rom.dsp not written");
        size = ctx.upload_data.size();
    } else {
        ctx.upload_data = std::move(*bytes);
    }
    Win_1_Activate(ctx);
    status_text(ctx, 91, 12, 9, format_length(static_cast<std::int64_t>(size)));
}

} // namespace velk2
