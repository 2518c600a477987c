#include "shell/startup.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <filesystem>
#include <system_error>

#include "platform/os_path.h"
#include "serial/port_connection.h"
#include "session/settings.h"
#include "shell/command_line_help.h"
#include "shell/error_report.h"
#include "shell/file_selection.h"
#include "shell/handlers.h"
#include "shell/main_window.h"
#include "shell/panel.h"
#include "shell/self_copy.h"
#include "shell/text_between.h"
#include "shell/window_layout.h"
#include "shell/window_setup.h"

namespace velk2 {

namespace {

std::string upper(std::string s) {
    for (auto& ch : s) ch = char(std::toupper(static_cast<unsigned char>(ch)));
    return s;
}

bool ends_with(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

std::string trim_blanks(const std::string& s) {
    auto b = s.find_first_not_of(' ');
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

void set_title(Context& ctx, const std::string& title) {
    ctx.window.title = title;
    ++ctx.window.revision;
}

// Port and upload file from the program's name, the argument and the store.
void choose_port_and_file(Context& ctx) {
    const std::string& arg = ctx.cmd_arg;
    // An existing file named by a full path: the upload file itself.
    if (arg.size() > 3 && is_full_path(arg) && file_exists(arg)) {
        ctx.upload_file = arg;
        ctx.com_port = "COM" + text_between(ctx.exe_name, "(COM", ")");
        if (ctx.com_port == "COM") ctx.com_port = read_setting(ctx, "LAST", "PORT");
        // Without any port the run could open nothing; take the same
        // fallback as an ordinary start.
        if (ctx.com_port.empty()) ctx.com_port = "COM1";
        return;
    }
    ctx.com_port = text_between(ctx.exe_name, "(", ")");
    Win_1_Activate(ctx);
    const std::string port_arg = text_between(arg, "(", ")");
    if (ctx.com_port.empty()) {
        ctx.com_port = read_setting(ctx, "LAST", "PORT");
        if (ctx.com_port.empty()) ctx.com_port = "COM1";
    }
    if (port_arg.compare(0, 3, "COM") == 0) ctx.com_port = port_arg;
    ctx.upload_file = text_between(arg, "{", "}");
}

// The first quoted text that follows a blank; a quote that is never closed
// runs to the end of the line.
std::string quoted_argument(const std::string& line) {
    const std::string rest = text_between(line, " \"", "");
    return rest.substr(0, rest.find('"'));
}

// A long quoted argument asks for an automatic start of the file it names:
// a DSP file is uploaded and the program ends, a BIN file goes to the
// service upload; other files are only selected.
bool automatic_start_asked(const Context& ctx, bool development) {
    return !development && ctx.cmd_arg.size() > 10 &&
           upper(ctx.cmd_arg).find("_().EXE") == std::string::npos;
}

// The port test of an automatic start failed: nothing was sent. The port
// connection has written the reason into the port field and the diagnostic.
void port_test_failed(Context& ctx) {
    ctx.platform.message_box("Nothing was uploaded: " + ctx.com_port +
                                 " did not open for the automatic start of " + ctx.upload_file +
                                 ".",
                             "VELK2");
}

enum class AutoStart { none, self_copy, failed };

// The automatic transfer of a long quoted argument, for the file that the
// argument named (`named_ready`: it could be prepared).
AutoStart automatic_transfer(Context& ctx, bool named_ready) {
    if (upper(ctx.cmd_arg).find("_().EXE") != std::string::npos) return AutoStart::self_copy;
    // Preparation refused the file and said why; nothing is sent.
    if (!named_ready) return AutoStart::failed;
    const std::string type = file_type(ctx.upload_file);
    if (type == "DSP") {
        if (!port_open(ctx, "115200")) return port_test_failed(ctx), AutoStart::failed;
        ctx.save_last_file = false;
        port_close(ctx);
        ctx.quit_after_upload = true;
        cm1_Click(ctx);
    } else if (type == "BIN") {
        if (!port_open_plain(ctx, "38400")) return port_test_failed(ctx), AutoStart::failed;
        ctx.save_last_file = false;
        port_close(ctx);
        cmbinup_Click(ctx);
    }
    return AutoStart::none;
}

void main_loop(Context& ctx) {
    while (ctx.window.exists) {
        if (ctx.transfer_state == 2) {
            ctx.platform.process_events();
        } else if (ctx.quit_requested) {
            ctx.platform.diag("exit 1");
            ctx.platform.close_window();
            ctx.platform.diag("exit 2");
            break;
        } else if (!ctx.platform.wait_event()) {
            break;
        }
    }
}

// The exit status of a run that ends normally or in the final handler: a run
// whose automatic start was a DSP upload, or failed, exits 1 unless an upload
// of the run ended "done"; any other run 0.
int run_status(const Context& ctx, bool judged) {
    return judged && !ctx.upload_done_in_run ? 1 : 0;
}

// An error that nothing else handled: keep the choices, tell the user, close.
int final_handler(Context& ctx, const std::string& error, bool judged) {
    store_setting(ctx, "LAST", "ALL", ctx.upload_file);
    store_setting(ctx, "LAST", "PORT", ctx.com_port);
    ctx.platform.message_box(error, "ERROR code");
    Win_1_Close(ctx);
    ctx.platform.close_window();
    return run_status(ctx, judged);
}

// An end signal: the running transfer has closed the port on its way out;
// closing again covers a signal seen outside one. No message box, since
// nobody may be there to close it; the status tells the signal to a script.
int end_on_signal(Context& ctx, const Interrupted& interrupted) {
    if (ctx.report) port_close(ctx);
    ctx.platform.diag("ended by " + signal_name(interrupted.signal));
    return 128 + interrupted.signal;
}

} // namespace

std::string full_command_line(const ProcessInfo& process) {
    if (process.command_line) return *process.command_line;
    std::string line = process.program_path;
    for (const auto& a : process.args) line += " \"" + a + "\"";
    return line;
}

std::string argument_text(const ProcessInfo& process) {
    if (process.command_line) {
        // The program's path runs to its closing quote when it starts with
        // one, else to the first blank or tab; the arguments follow it.
        const std::string& line = *process.command_line;
        std::size_t end = std::string::npos;
        if (line.starts_with('"')) {
            end = line.find('"', 1);
            if (end != std::string::npos) ++end;
        } else {
            end = line.find_first_of(" \t");
        }
        const std::size_t start = line.find_first_not_of(" \t", std::min(end, line.size()));
        return start == std::string::npos ? std::string() : line.substr(start);
    }
    std::string text;
    for (const auto& a : process.args) text += (text.empty() ? "" : " ") + a;
    return text;
}

std::string main_title() {
    return std::string("VELK2 ver(") + VELK2_VERSION + ") " + window_text + " " + support_address;
}

namespace {

int run_to_end(Context& ctx) {
    ctx.work_dir = ctx.process.current_dir + folder_separator;
    // The exit status tells a script whether the automatic start flashed.
    bool judged = false;
    try {
        create_window(ctx);
        wire_handlers(ctx);
        ctx.platform.attach(ctx.window);

        ctx.cmd_arg = quoted_argument(full_command_line(ctx.process));
        const std::string& path = ctx.process.program_path;
        const std::size_t folder_end = last_separator(path);
        ctx.exe_name = path.substr(folder_end == std::string::npos ? 0 : folder_end + 1);
        choose_port_and_file(ctx);

        ctx.report->enable(Button::stop, false);
        ctx.report->enable(Button::upload, false);
        ctx.report->enable(Button::service, false);

        // Started from the development environment: the last upload again,
        // nothing stored, no automatic transfer.
        const bool development =
            upper(ctx.upload_file).size() >= 4 && ends_with(upper(ctx.upload_file), ".G32");
        if (development) ctx.upload_file = read_setting(ctx, "LAST", "UPFILE");
        const bool automatic = automatic_start_asked(ctx, development);
        // A path as the whole argument that is not a file: the argument is
        // the name that cannot be used.
        if (automatic && ctx.upload_file.empty()) ctx.upload_file = ctx.cmd_arg;
        judged = automatic && file_type(ctx.upload_file) == "DSP";
        bool named_ready = true;
        if (automatic)
            named_ready = apply_named_file(ctx);
        else
            apply_selected_file(ctx);

        const std::string upper_path = upper(path);
        if (upper_path.find("(DBG2)") != std::string::npos) ctx.trace_on = true;
        if (upper_path.find("(DBGDSP)") != std::string::npos) ctx.upload_debug = true;

        if (!development) {
            set_title(ctx, main_title());
            ctx.save_last_file = true;
            ctx.quit_after_upload = false;

            bool self_copy = false;
            if (ctx.cmd_arg.size() > 10) {
                const AutoStart start = automatic_transfer(ctx, named_ready);
                if (start == AutoStart::failed) {
                    judged = true;
                    // Nobody is there to pick another file: the run is over.
                    if (ctx.platform.unattended()) {
                        ctx.platform.close_window();
                        return 1;
                    }
                }
                self_copy = start == AutoStart::self_copy;
            } else if (!ends_with(upper_path, "G32")) {
                store_setting(ctx, "LAST", "PORT", ctx.com_port);
                store_setting(ctx, "LAST", "ALL", ctx.upload_file);
                self_copy = trim_blanks(argument_text(ctx.process)).empty();
            }
            if (self_copy) {
                auto own_path = app_filename3(ctx, path);
                if (!own_path) return 0;
                if (upper(*own_path).find("VELK_().EXE") != std::string::npos &&
                    write_port_copies(ctx, *own_path)) {
                    ctx.platform.process_events();
                    ctx.platform.close_window();
                    return 0;
                }
            }
        }

        set_title(ctx, main_title());
        ctx.platform.diag_reset();
        ctx.platform.diag("do main");
        main_loop(ctx);
        ctx.platform.diag("exit");
    } catch (const Interrupted&) {
        throw;
    } catch (const std::exception& e) {
        return final_handler(ctx, e.what(), judged);
    } catch (...) {
        return final_handler(ctx, "unknown error", judged);
    }
    return run_status(ctx, judged);
}

} // namespace

int run_program(Context& ctx) {
    // A main that has not turned an option we do not have away already.
    if (const auto refusal = unknown_option_text(ctx.process.args)) {
        ctx.platform.diag(refusal->substr(0, refusal->find_last_not_of('\n') + 1));
        return unknown_option_status;
    }
    // Outside the final handler, whose message box a signal also ends.
    try {
        return run_to_end(ctx);
    } catch (const Interrupted& interrupted) {
        return end_on_signal(ctx, interrupted);
    }
}

} // namespace velk2
