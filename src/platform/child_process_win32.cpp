// Child processes on Windows: CreateProcessW with three pipes. The parent's
// ends are named pipes opened for overlapped I/O, so that every read and
// write is started and later looked at without ever waiting; the child's
// ends are plain handles, the only ones it inherits.
#include "platform/child_process.h"

#ifdef _WIN32

#include "platform/child_output.h"
#include "platform/os_path.h"
#include "platform/win32/win32_api.h"
#include "platform/win32_error.h"
#include "platform/windows_command_line.h"

#include <algorithm>
#include <atomic>
#include <vector>

namespace velk2 {

namespace {

constexpr DWORD pipe_bytes = 64 * 1024;
constexpr DWORD read_piece = 16 * 1024;
// One write hands the pipe this much at most; it completes as the child reads.
constexpr std::size_t write_piece = 1024 * 1024;
// What one poll reads from a pipe at most, so that a child that floods its
// output cannot hold its owner up.
constexpr int reads_per_poll = 16;
// After the child has ended, its pipes are read to their end; a handle it
// passed on could keep them open, so its end is told after this at the latest.
constexpr ULONGLONG drain_limit_ms = 1000;
constexpr UINT killed_exit_code = 1;

// The parent's end of one pipe and the one transfer under way on it.
class PipeEnd {
  public:
    PipeEnd() { transfer_.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr); }
    ~PipeEnd() {
        close();
        if (transfer_.hEvent) CloseHandle(transfer_.hEvent);
    }
    PipeEnd(const PipeEnd&) = delete;
    PipeEnd& operator=(const PipeEnd&) = delete;

    void take(HANDLE handle) { handle_ = handle; }
    bool open() const { return handle_ != INVALID_HANDLE_VALUE; }
    bool ended() const { return ended_; }
    bool busy() const { return pending_; }
    std::size_t in_flight() const { return pending_ ? buffer_.size() : 0; }

    // A transfer that was under way has ended: its byte count, or nothing
    // while it still runs; `failed` when the pipe broke.
    std::optional<DWORD> finished(bool& failed) {
        failed = false;
        if (!pending_ || !HasOverlappedIoCompleted(&transfer_)) return std::nullopt;
        pending_ = false;
        DWORD n = 0;
        if (!GetOverlappedResult(handle_, &transfer_, &n, FALSE)) failed = true;
        return n;
    }

    // Reads what has come, a few pieces at most, into `sink`.
    template <class Sink> void read_some(Sink sink) {
        for (int round = 0; round < reads_per_poll && open() && !ended_; ++round) {
            bool failed = false;
            if (pending_) {
                const auto n = finished(failed);
                if (!n) return; // nothing more yet
                if (failed) {
                    ended_ = true; // the writer is gone (or the pipe failed)
                    return;
                }
                sink(std::string_view(buffer_.data(), *n));
            }
            buffer_.resize(read_piece);
            if (!start(ReadFile(handle_, buffer_.data(), read_piece, nullptr, &transfer_))) {
                ended_ = true;
                return;
            }
        }
    }

    // Starts writing `bytes`; false when the pipe refused them.
    bool write(std::string bytes) {
        buffer_ = std::move(bytes);
        return start(
            WriteFile(handle_, buffer_.data(), DWORD(buffer_.size()), nullptr, &transfer_));
    }
    const std::string& buffer() const { return buffer_; }

    void close() {
        if (!open()) return;
        if (pending_) {
            // The transfer writes into buffer_ and transfer_: it must be
            // over before they go.
            CancelIoEx(handle_, &transfer_);
            DWORD n = 0;
            GetOverlappedResult(handle_, &transfer_, &n, TRUE);
            pending_ = false;
        }
        CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

  private:
    // A transfer done at once also completes its OVERLAPPED: both are
    // collected by finished().
    bool start(BOOL done_at_once) {
        if (!done_at_once && GetLastError() != ERROR_IO_PENDING) return false;
        pending_ = true;
        return true;
    }

    HANDLE handle_ = INVALID_HANDLE_VALUE;
    OVERLAPPED transfer_{};
    std::string buffer_;
    bool pending_ = false;
    bool ended_ = false;
};

ChildExit exit_of(DWORD code) {
    // 0xCxxxxxxx: an exception ended it (access violation, stack overflow, ...).
    return {(code & 0xC0000000u) == 0xC0000000u, static_cast<int>(code)};
}

class Win32Child final : public ChildProcess {
  public:
    Win32Child(HANDLE process, HANDLE input, HANDLE output, HANDLE errors) : process_(process) {
        in_.take(input);
        out_.take(output);
        err_.take(errors);
    }
    ~Win32Child() override {
        if (!ended_at_) {
            TerminateProcess(process_.get(), killed_exit_code);
            WaitForSingleObject(process_.get(), 5000);
        }
    }
    Win32Child(const Win32Child&) = delete;
    Win32Child& operator=(const Win32Child&) = delete;

    void write_input(std::string_view bytes) override {
        if (!in_.open()) return;
        queue_ += bytes;
        feed();
    }
    std::size_t input_pending() const override { return queue_.size() + in_.in_flight(); }
    void close_input() override {
        queue_.clear();
        in_.close();
    }
    void poll() override;
    std::vector<std::string> take_lines() override { return output_.take_lines(); }
    std::string stderr_tail() const override { return output_.stderr_tail(); }
    std::optional<ChildExit> exit_status() const override { return exit_; }
    void kill() override {
        if (!ended_at_) TerminateProcess(process_.get(), killed_exit_code);
    }

  private:
    void feed();

    OwnedHandle process_;
    PipeEnd in_, out_, err_;
    std::string queue_;
    ChildOutput output_{max_line_bytes, stderr_tail_lines};
    std::optional<ULONGLONG> ended_at_;
    DWORD exit_code_ = 0;
    std::optional<ChildExit> exit_;
};

void Win32Child::feed() {
    if (!in_.open()) return;
    bool failed = false;
    if (in_.busy()) {
        const auto n = in_.finished(failed);
        if (!n) return; // the child is still taking the last piece
        if (failed) {
            close_input(); // the child no longer reads its input
            return;
        }
        if (*n < in_.buffer().size()) queue_.insert(0, in_.buffer().substr(*n));
    }
    if (queue_.empty()) return;
    const std::size_t n = std::min(queue_.size(), write_piece);
    std::string piece = queue_.substr(0, n);
    queue_.erase(0, n);
    if (!in_.write(std::move(piece))) close_input();
}

void Win32Child::poll() {
    if (exit_) return;
    feed();
    // Looked at before the reads: once it has ended, all it wrote is in the
    // pipes, and the reads below reach their end.
    if (!ended_at_ && WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process_.get(), &exit_code_);
        ended_at_ = GetTickCount64();
        close_input();
    }
    out_.read_some([this](std::string_view bytes) { output_.add_stdout(bytes); });
    err_.read_some([this](std::string_view bytes) { output_.add_stderr(bytes); });
    if (!ended_at_) return;
    if ((out_.ended() && err_.ended()) || GetTickCount64() - *ended_at_ >= drain_limit_ms) {
        exit_ = exit_of(exit_code_);
        out_.close();
        err_.close();
    }
}

// A pipe for one standard handle: the parent's end overlapped and not
// inherited, the child's end inheritable. The error code, 0 when made.
DWORD make_pipe(bool child_reads, HANDLE& parent, HANDLE& child) {
    static std::atomic<unsigned> made{0};
    const std::wstring name = L"\\\\.\\pipe\\velk2-child-" +
                              std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(++made);
    parent = CreateNamedPipeW(name.c_str(),
                              (child_reads ? PIPE_ACCESS_OUTBOUND : PIPE_ACCESS_INBOUND) |
                                  FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                              PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT |
                                  PIPE_REJECT_REMOTE_CLIENTS,
                              1, pipe_bytes, pipe_bytes, 0, nullptr);
    if (parent == INVALID_HANDLE_VALUE) return GetLastError();
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    child = CreateFileW(name.c_str(),
                        child_reads ? GENERIC_READ | FILE_WRITE_ATTRIBUTES
                                    : GENERIC_WRITE | FILE_READ_ATTRIBUTES,
                        0, &inherit, OPEN_EXISTING, 0, nullptr);
    if (child == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        CloseHandle(parent);
        parent = INVALID_HANDLE_VALUE;
        return error;
    }
    return 0;
}

} // namespace

ChildStart start_child(const std::string& program, const std::vector<std::string>& arguments) {
    HANDLE parent[3] = {INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE};
    HANDLE child[3] = {INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE};
    const auto close_all = [&](bool parents_too) {
        for (int i = 0; i < 3; ++i) {
            if (child[i] != INVALID_HANDLE_VALUE) CloseHandle(child[i]);
            child[i] = INVALID_HANDLE_VALUE;
            if (parents_too && parent[i] != INVALID_HANDLE_VALUE) CloseHandle(parent[i]);
        }
    };
    for (int i = 0; i < 3; ++i) {
        if (const DWORD error = make_pipe(i == 0, parent[i], child[i])) {
            close_all(true);
            return {nullptr, "cannot make a pipe: " + win32_error_text(error)};
        }
    }

    // Only the three pipe ends go to the child, whatever else this process
    // holds as inheritable.
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<char> storage(size);
    auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.data());
    if (!InitializeProcThreadAttributeList(attributes, 1, 0, &size) ||
        !UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, child,
                                   sizeof child, nullptr, nullptr)) {
        const DWORD error = GetLastError();
        close_all(true);
        return {nullptr, "cannot list the child's handles: " + win32_error_text(error)};
    }
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = child[0];
    startup.StartupInfo.hStdOutput = child[1];
    startup.StartupInfo.hStdError = child[2];
    startup.lpAttributeList = attributes;

    // The program named as it stands: no search along PATH, no ".exe" added.
    const std::wstring application = widen(program);
    std::wstring command_line = widen(windows_command_line(program, arguments));
    PROCESS_INFORMATION info{};
    const BOOL started = CreateProcessW(application.c_str(), command_line.data(), nullptr, nullptr,
                                        TRUE, EXTENDED_STARTUPINFO_PRESENT | CREATE_NO_WINDOW,
                                        nullptr, nullptr, &startup.StartupInfo, &info);
    const DWORD error = started ? 0 : GetLastError();
    DeleteProcThreadAttributeList(attributes);
    close_all(!started);
    if (!started) return {nullptr, program + ": " + win32_error_text(error)};
    CloseHandle(info.hThread);
    return {std::make_unique<Win32Child>(info.hProcess, parent[0], parent[1], parent[2]), {}};
}

} // namespace velk2

#endif // _WIN32
