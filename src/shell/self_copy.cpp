#include "shell/self_copy.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/os_path.h"

namespace velk2 {

namespace {

namespace fs = std::filesystem;

bool port_exists(Context& ctx, int n) {
    auto port = ctx.platform.new_port();
    const std::string name = "COM" + std::to_string(n);
    bool ok = port->open(ctx.platform.device_for(name), "115200");
    port->close();
    return ok;
}

// One pass: any failure abandons just this port.
bool write_copy(Context& ctx, int n, const std::string& program, fs::perms perms) {
    const std::string name = "VELK_(COM" + std::to_string(n) + ").exe";
    std::error_code ec;
    if (fs::exists(fs::symlink_status(os_path(name), ec))) {
        fs::remove(os_path(name), ec);
        if (ec) return false;
    }
    if (!port_exists(ctx, n)) return false;
    {
        std::ofstream f(os_path(name), std::ios::binary | std::ios::trunc);
        f.write(program.data(), std::streamsize(program.size()));
        if (!f) return false;
    }
    // The copies must stay runnable.
    fs::permissions(os_path(name), perms, fs::perm_options::replace, ec);
    return !ec;
}

} // namespace

bool write_port_copies(Context& ctx, const std::string& own_path) {
    ctx.window.title = "VELK : Please wait COM port controll & EXE file write";
    ++ctx.window.revision;
    {
        std::ofstream f("fi1.dat", std::ios::binary | std::ios::trunc);
        f << own_path;
    }
    std::ifstream in(os_path(own_path), std::ios::binary);
    const std::string program((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    std::error_code ec;
    fs::perms perms = fs::status(os_path(own_path), ec).permissions();
    if (ec)
        perms = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                fs::perms::others_read | fs::perms::others_exec;

    bool written = false;
    for (int n = 1; n <= 8; ++n)
        if (!program.empty() && write_copy(ctx, n, program, perms)) written = true;
    return written;
}

} // namespace velk2
