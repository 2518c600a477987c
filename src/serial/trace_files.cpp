#include "serial/trace_files.h"

#include <fstream>

#include "platform/os_path.h"
#include "serial/trace_format.h"

namespace velk2 {

namespace {

const char* const trace_lines_file = "inp_1.dat";
const char* const trace_blocks_file = "inp_2.dat";

// A trace file that cannot be written is skipped: tracing never stops a
// transfer.
void write_file(const std::string& path, const std::string& bytes, bool append) {
    std::ofstream f(os_path(path), std::ios::binary | (append ? std::ios::app : std::ios::trunc));
    if (f) f.write(bytes.data(), std::streamsize(bytes.size()));
}

} // namespace

void trace_reset(Context& ctx) {
    if (ctx.trace_on) write_file(ctx.work_dir + trace_lines_file, {}, false);
}

void trace_line(Context& ctx, int code, const std::string& label, const std::string& data) {
    if (!ctx.trace_on) return;
    if (code == 0)
        write_file(ctx.work_dir + trace_lines_file, {}, false);
    else
        write_file(ctx.work_dir + trace_lines_file, trace_line_text(code, label, data), true);
}

void trace_block(Context& ctx, int code, const std::string& data) {
    if (!ctx.trace_on) return;
    if (code == 0)
        write_file(ctx.work_dir + trace_blocks_file, {}, false);
    else
        write_file(ctx.work_dir + trace_blocks_file, trace_block_record(code, data), true);
}

} // namespace velk2
