// Feeds what the download makes of the box's blocks: the first 133 input
// bytes (fewer when the input is shorter) as the header block to
// check_header, header_fields and safe_file_name; the rest, cut into 1029-byte
// data records, to block_crc_ok and to assemble_blocks with the size the
// header announces.
// Must hold: no crash or undefined behaviour; an accepted size within the
// limit and carried by its block count; a proposed name that cannot leave
// its folder; a record that passes its check fails it with any data byte
// changed; assembled data of exactly the announced size, taken from the
// records' data parts, whenever every record passes.
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "download/ymodem_header.h"
#include "fuzz_bench.h"

using namespace velk2;
using fuzz::check;

namespace {

void check_name(const std::string& header_name) {
    const std::string name = safe_file_name(header_name);
    check(!name.empty() && name != "." && name != "..", "name without a file");
    for (const char c : name)
        check(c != '/' && c != '\\' && c != ':' && static_cast<unsigned char>(c) >= 0x20,
              "name that names a folder or holds a control byte");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string_view header = input.substr(0, header_block_size);

    check(!check_header(header).crc_ok || header.size() == header_block_size,
          "short header passed its check");
    const HeaderFields fields = header_fields(header);
    check(fields.file_name.size() <= 128 && fields.file_name.find('\0') == std::string::npos,
          "file name beyond its 0x00 or field");
    check_name(fields.file_name);
    if (!fields.size) return 0;
    const std::uint64_t carried = std::uint64_t{fields.block_count} * 1024;
    check(*fields.size <= download_max_size && carried >= *fields.size &&
              carried < *fields.size + 1024u,
          "size beyond the limit or not carried by its blocks");

    std::vector<std::string> records;
    bool all_pass = true;
    for (std::size_t at = header.size(); at < input.size(); at += data_record_size) {
        std::string record(input.substr(at, data_record_size));
        const bool pass = block_crc_ok(record);
        if (pass) {
            const auto byte = [&record](std::size_t i) { return std::uint8_t(record[i]); };
            std::string changed = record;
            changed[3 + (byte(4) | byte(5) << 8) % 1024] ^= char(byte(6) | 1);
            check(!block_crc_ok(changed), "changed data byte passed the check");
        }
        if (records.size() < fields.block_count) all_pass = all_pass && pass;
        records.push_back(std::move(record));
    }
    const auto assembled = assemble_blocks(records, *fields.size);
    check(assembled.has_value() == (all_pass && records.size() >= fields.block_count),
          "assembly disagrees with the block checks");
    if (!assembled) return 0;
    check(assembled->size() == *fields.size, "assembled size is not the announced size");
    for (std::size_t at = 0; at < assembled->size(); at += 1024) {
        const std::size_t n = std::min<std::size_t>(1024, assembled->size() - at);
        check(assembled->compare(at, n, records[at / 1024], 3, n) == 0,
              "assembled data differs from the records");
    }
    return 0;
}
