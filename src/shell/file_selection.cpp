#include "shell/file_selection.h"

#include <cstdint>
#include <fstream>

#include "platform/os_path.h"
#include "session/settings.h"
#include "shell/panel.h"
#include "shell/upload_bytes.h"

namespace velk2 {

namespace {

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
    UploadBytes prepared = upload_bytes(ctx.upload_file);
    if (!prepared.data) {
        refuse_upload_file(ctx, prepared.problem);
        return false;
    }
    std::string data = std::move(*prepared.data);
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
