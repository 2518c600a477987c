// The serial line on Windows: a COM port handle whose reads follow the 1-ms
// time-out record of COMMTIMEOUTS. Same shape as serial_posix.cpp.
#ifdef _WIN32

#include "platform/serial_port.h"

#include "platform/com_ports.h"
#include "platform/line_rates.h"
#include "platform/line_read_back.h"
#include "platform/os_path.h"
#include "platform/win32/win32_api.h"
#include "platform/write_limit.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>

namespace velk2 {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// All five values 1 ms: a read of n bytes ends when they have arrived, 1 ms
// after a byte without a further one, or n + 1 ms after the call; a write
// of n bytes takes at most n + 1 ms.
constexpr COMMTIMEOUTS kOneMsRecord{1, 1, 1, 1, 1};
// Plain open: a read returns at once with what has arrived; a write may take
// its bytes' time on the line plus a margin (write_limit.h), set before each
// write whose length needs another limit. A zero limit would let a stalled
// driver hold the write for ever.
COMMTIMEOUTS plain_record(DWORD write_limit_ms) {
    return COMMTIMEOUTS{MAXDWORD, 0, 0, 0, write_limit_ms};
}
// What a plain read on a vanished line waits (see read below).
constexpr milliseconds kPlainFirstByte{1};
// Upper bound of one read's wait, so that an absurd count cannot overflow the clock.
constexpr std::size_t kMaxReadWaitMs = 60'000;

// The line record ("dcb1") is the device-control block as the device holds it.
static_assert(sizeof(DCB) == 28, "the line record is the 28-byte DCB");

// BuildCommDCB sets the rate, no parity, 8 data bits and 1 stop bit, turns
// XON/XOFF and hardware flow control off, and keeps the other fields as the
// device had them. Of those, a few would eat or stall the box's bytes, so
// they are fixed: fNull drops zero bytes, fDsrSensitivity ignores input
// while DSR is low (three-wire cables), fErrorChar replaces bytes, and
// fAbortOnError fails every read after the framing error that a box talking
// at another rate causes (one "C" at 115200 read at 230400 must arrive as
// 0x1E 0xFE).
bool line_settings(DCB& dcb, const std::string& baud) {
    const std::string text = baud + ",n,8,1";
    if (!BuildCommDCBA(text.c_str(), &dcb)) return false;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fNull = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fAbortOnError = FALSE;
    return true;
}

bool set_record(HANDLE handle, COMMTIMEOUTS record) {
    return SetCommTimeouts(handle, &record);
}

LineReadBack read_back(const DCB& dcb) {
    LineReadBack took;
    took.rate = took.input_rate = dcb.BaudRate;
    took.data_bits = dcb.ByteSize;
    took.parity = dcb.Parity != NOPARITY;
    took.stop_bits = dcb.StopBits == ONESTOPBIT ? "1" : dcb.StopBits == ONE5STOPBITS ? "1.5" : "2";
    return took;
}

// The system's words for the last error, without the closing full stop.
std::string last_error_text() {
    const DWORD code = GetLastError();
    wchar_t text[256] = {};
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, text, 256, nullptr);
    std::string words = narrow(std::wstring(text, n));
    while (!words.empty() && (words.back() == '\n' || words.back() == '\r' || words.back() == '.'))
        words.pop_back();
    return words.empty() ? "error " + std::to_string(code) : words;
}

class Win32SerialPort final : public SerialPort {
  public:
    ~Win32SerialPort() override { close(); }

    bool open(const std::string& device, const std::string& baud) override;
    bool set_timeouts() override;
    bool read_line_record(std::string& record) override;
    bool apply_line_settings(const std::string& baud) override;
    std::string read(std::size_t n) override;
    bool write(const std::string& bytes) override;
    void close() override;
    bool is_open() const override { return handle_ != INVALID_HANDLE_VALUE; }
    bool line_lost() const override { return lost_; }
    std::string open_error() const override { return open_error_; }
    std::string open_note() const override { return open_note_; }
    std::optional<int> slow_adapter_ms() const override { return slow_adapter_ms_; }

  private:
    // Records why the open or a set-up step failed; always false.
    bool refuse(const std::string& why) {
        open_error_ = why;
        return false;
    }
    // The same for a system call that failed: the step, then the system's
    // words for its error (the words alone for the open itself).
    bool os_refusal(const std::string& step) {
        return refuse(step.empty() ? last_error_text() : step + ": " + last_error_text());
    }
    void note_slow_adapter(const std::string& device);

    // After a plain open: the write limit for `bytes` in the device's record.
    bool bound_write(std::size_t bytes);

    HANDLE handle_ = INVALID_HANDLE_VALUE;
    std::string open_error_;
    DCB saved_dcb_{};               // the line as we found it, handed back at close
    COMMTIMEOUTS saved_timeouts_{}; // likewise
    bool timed_ = false;            // set_timeouts was called since the open
    bool lost_ = false;
    long long bits_per_s_ = 38400; // the line's rate, for the write limit
    DWORD plain_write_ms_ = 0;     // the write limit in the plain record now
    std::string open_note_;
    std::optional<std::string> looked_up_; // the device whose adapter was looked up
    std::optional<int> slow_adapter_ms_;
};

// Windows has no call that asks an adapter's driver for low latency; an FTDI
// port whose driver settings keep a long latency timer is reported instead,
// once per device (the download reopens its port four times a second).
void Win32SerialPort::note_slow_adapter(const std::string& device) {
    open_note_.clear();
    if (looked_up_ == device) return;
    looked_up_ = device;
    slow_adapter_ms_.reset();
    const auto port = com_port_device(device);
    open_note_ = port ? latency_hint(*port) : "";
    if (!open_note_.empty()) slow_adapter_ms_ = port->latency_ms;
}

bool Win32SerialPort::open(const std::string& device, const std::string& baud) {
    close();
    open_error_.clear();
    if (!line_rate(baud)) return refuse("no such rate " + baud);
    // Share mode 0: one opener per COM port.
    // The device as the platform named it (\\.\COMn, see device_names.h).
    const HANDLE handle = CreateFileW(widen(device).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return os_refusal("");
    saved_dcb_ = DCB{};
    saved_dcb_.DCBlength = sizeof(DCB);
    if (!GetCommState(handle, &saved_dcb_) || !GetCommTimeouts(handle, &saved_timeouts_)) {
        os_refusal("not a serial line");
        CloseHandle(handle);
        return false;
    }
    handle_ = handle;
    timed_ = false;
    lost_ = false;
    // The record a previous user left could make reads block for ever; a
    // plain open returns what has arrived. Bytes that reached the adapter
    // before this open belong to nobody: a freshly opened port starts empty.
    plain_write_ms_ = write_limit_ms(0, bits_per_s_);
    bool set_up = apply_line_settings(baud);
    if (set_up && !set_record(handle_, plain_record(plain_write_ms_)))
        set_up = os_refusal("time-outs refused");
    if (set_up && !PurgeComm(handle_, PURGE_RXCLEAR))
        set_up = os_refusal("pending input not discarded");
    if (!set_up) {
        close();
        return false;
    }
    note_slow_adapter(device);
    return true;
}

bool Win32SerialPort::set_timeouts() {
    // The device's record, every value set to 1.
    COMMTIMEOUTS record{};
    if (handle_ == INVALID_HANDLE_VALUE) return refuse("not open");
    if (!GetCommTimeouts(handle_, &record)) return os_refusal("time-outs unreadable");
    if (!set_record(handle_, kOneMsRecord)) return os_refusal("time-outs refused");
    timed_ = true;
    return true;
}

bool Win32SerialPort::read_line_record(std::string& record) {
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    if (handle_ == INVALID_HANDLE_VALUE) return refuse("not open");
    if (!GetCommState(handle_, &dcb)) return os_refusal("line record unreadable");
    record.assign(reinterpret_cast<const char*>(&dcb), sizeof dcb);
    return true;
}

bool Win32SerialPort::apply_line_settings(const std::string& baud) {
    const auto rate = line_rate(baud);
    if (handle_ == INVALID_HANDLE_VALUE) return refuse("not open");
    if (!rate) return refuse("no such rate " + baud);
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    if (!GetCommState(handle_, &dcb)) return os_refusal("line settings unreadable");
    if (!line_settings(dcb, baud) || !SetCommState(handle_, &dcb))
        return os_refusal("line settings refused");
    // A driver may round or ignore a setting it accepted; read the line back.
    DCB took{};
    took.DCBlength = sizeof(DCB);
    if (!GetCommState(handle_, &took)) return os_refusal("line settings unreadable");
    if (const std::string wrong = read_back_mismatch(read_back(took), *rate); !wrong.empty())
        return refuse(wrong);
    bits_per_s_ = *rate;
    return true;
}

// The driver does the timing (the record set by open or set_timeouts).
std::string Win32SerialPort::read(std::size_t n) {
    std::string got;
    if (handle_ == INVALID_HANDLE_VALUE || n == 0) return got;
    const auto start = Clock::now();
    const DWORD count = static_cast<DWORD>(std::min<std::size_t>(n, MAXDWORD));
    got.resize(count);
    DWORD k = 0;
    if (!ReadFile(handle_, got.data(), count, &k, nullptr)) {
        // A failed read is a vanished device (adapter pulled), not a time-out.
        // Take the time a silent line would take, so that a caller polling
        // in a loop waits instead of spinning.
        lost_ = true;
        k = 0;
        const auto wait = timed_ ? milliseconds(std::min(n, kMaxReadWaitMs) + 1) : kPlainFirstByte;
        std::this_thread::sleep_until(start + wait);
    }
    got.resize(k);
    return got;
}

bool Win32SerialPort::bound_write(std::size_t bytes) {
    const DWORD limit = write_limit_ms(bytes, bits_per_s_);
    if (limit == plain_write_ms_) return true;
    if (!set_record(handle_, plain_record(limit))) return false;
    plain_write_ms_ = limit;
    return true;
}

// A write that runs out of time is a line that has stopped taking bytes: it
// is reported as lost, as an unplugged adapter is.
bool Win32SerialPort::write(const std::string& bytes) {
    if (handle_ == INVALID_HANDLE_VALUE) return false;
    DWORD done = 0;
    if ((!timed_ && !bound_write(bytes.size())) ||
        !WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) ||
        done != bytes.size()) {
        lost_ = true;
        return false;
    }
    return true;
}

void Win32SerialPort::close() {
    if (handle_ == INVALID_HANDLE_VALUE) return;
    // Let the last bytes we wrote leave at our rate (on a lost line they never
    // would: drop them), then hand the line back as we found it; errors are
    // of no use at this point.
    if (lost_)
        PurgeComm(handle_, PURGE_TXABORT | PURGE_TXCLEAR);
    else
        FlushFileBuffers(handle_);
    SetCommState(handle_, &saved_dcb_);
    SetCommTimeouts(handle_, &saved_timeouts_);
    CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    timed_ = false;
}

} // namespace

std::unique_ptr<SerialPort> make_os_serial_port() {
    return std::make_unique<Win32SerialPort>();
}

} // namespace velk2

#endif // _WIN32
