#include "serial/trace_format.h"

#include "serial/hex_format.h"

#include <cstddef>

namespace velk2 {

namespace {

constexpr std::size_t row = 16;

} // namespace

std::string format_code3(int code) {
    const unsigned value = static_cast<unsigned>(code) % 1000;
    return std::string{static_cast<char>('0' + value / 100),
                       static_cast<char>('0' + value / 10 % 10),
                       static_cast<char>('0' + value % 10)};
}

std::string trace_line_text(int code, const std::string& label, const std::string& data) {
    std::string line = "<";
    line.push_back(static_cast<char>((code + 64) & 0xFF));
    line += "> ";
    line += label;
    if (!data.empty() && data.front() == ' ') {
        line += ':';
        line += data;
    } else if (!data.empty()) {
        line += "-> ";
        line += hex_bytes(data);
    }
    line += "\r\n";
    return line;
}

std::string trace_block_record(int code, const std::string& data) {
    const std::size_t padded = (data.size() + row - 1) / row * row;
    std::string record;
    record.reserve(80 + padded);
    record += "<    start";
    record += format_code3(code);
    record += "  >";
    record.append(row, ' ');
    record += data;
    record.append(padded - data.size(), ' ');
    record.append(row, ' ');
    record += "<     end      >";
    record.append(row, ' ');
    return record;
}

} // namespace velk2
