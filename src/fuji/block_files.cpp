#include "fuji/block_files.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "fuji/fuji_data.h"
#include "platform/os_path.h"
#include "session/settings.h"

namespace velk2 {

namespace {

namespace fs = std::filesystem;

std::optional<std::string> read_whole(const fs::path& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    if (f.bad()) return std::nullopt;
    return bytes;
}

// Why a block file cannot go out in one write; empty when it can.
std::string unfit(const std::string& data) {
    if (block_file_length_ok(data.size())) return {};
    const std::string length = std::to_string(data.size()) + " bytes";
    if (data.empty()) return "empty";
    if (data.size() > 1024) return length + ", more than 1024";
    return length + ", not whole 4-byte words";
}

void pass_over(Context& ctx, const std::string& name, const std::string& why) {
    ctx.platform.diag("passed over " + name + ": " + why);
}

// The listing, in name order so that a run is repeatable.
std::vector<fs::directory_entry> listing(const std::string& folder) {
    std::vector<fs::directory_entry> entries;
    std::error_code ec;
    fs::directory_iterator it(os_path(folder.empty() ? "." : folder), ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) entries.push_back(*it);
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return a.path().filename() < b.path().filename();
    });
    return entries;
}

} // namespace

std::string block_folder(Context& ctx, const std::string& sub) {
    const std::string dir = read_setting(ctx, "DIR", "DIR") + sub;
    return os_path(dir).is_absolute() ? dir : ctx.work_dir + dir;
}

std::vector<BlockFile> read_block_files(Context& ctx, const std::string& folder) {
    std::vector<BlockFile> files;
    for (const fs::directory_entry& entry : listing(folder)) {
        const std::string name = path_text(entry.path().filename());
        const std::optional<std::uint32_t> address = address_from_file_name(name);
        if (!address) continue;
        std::error_code ec;
        if (entry.is_directory(ec)) {
            pass_over(ctx, name, "a folder");
            continue;
        }
        std::optional<std::string> data = read_whole(entry.path());
        if (!data) {
            pass_over(ctx, name, "cannot be read");
            continue;
        }
        if (const std::string why = unfit(*data); !why.empty()) {
            pass_over(ctx, name, why);
            continue;
        }
        files.push_back({name, *address, std::move(*data)});
    }
    return files;
}

} // namespace velk2
