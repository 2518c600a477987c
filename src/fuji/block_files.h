// The block folders of fuji Def and fuji Put: files named by the box address
// they belong to ("00CCA800.bin"), each moved to the box in one write.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "session/context.h"

namespace velk2 {

// The sub-folders below the setting "DIR" (or the current directory).
#ifdef _WIN32
constexpr const char* default_block_folder = "CHG\\DEF\\";
constexpr const char* put_block_folder = "CHG\\PUT\\";
#else
constexpr const char* default_block_folder = "CHG/DEF/";
constexpr const char* put_block_folder = "CHG/PUT/";
#endif

// The setting "DIR" followed directly by `sub`; the setting is taken as it
// is, so it must end with a separator. Missing (or not an absolute path), the
// folder lies below the work folder.
std::string block_folder(Context& ctx, const std::string& sub);

struct BlockFile {
    std::string name; // as listed, without the folder
    std::uint32_t address;
    std::string data;
};

// The block files of `folder`, by name. Entries whose name does not end in
// ".bin" (any case) are no block files and are left out silently. Folders,
// unreadable files and files whose length one write cannot carry (empty, not
// whole 4-byte words, over 1024 bytes) are passed over with a diagnostic line
// that names them. A missing folder has no block files.
std::vector<BlockFile> read_block_files(Context& ctx, const std::string& folder);

} // namespace velk2
