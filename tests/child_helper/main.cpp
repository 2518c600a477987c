// A child for the tests of the process service: one small behaviour per
// command, chosen by the first argument.
//   args ...          each argument on a line of its own, in hex
//   echo              copies standard input to standard output until its end
//   count MS          reads standard input to its end, pausing MS ms after
//                     every 64 KiB, then prints "got N HASH" (FNV-1a, hex)
//   wait-eof          reads standard input to its end, says "eof after N", exits 3
//   stderr N CODE     writes "err 1".."err N" to standard error, the last
//                     without its line end, and exits with CODE
//   exit CODE         exits with CODE (decimal, or 0x hex)
//   signal N          raises signal N (POSIX)
//   flood N           N lines of 100 bytes, then exits 0
//   longline N        N bytes without a line end, then "\nok\n"
//   partial           "first\nsecond" without a line end, then exits 0
//   sleep             sleeps 60 s
//   signals           "default" when SIGTERM is not blocked and SIGPIPE not
//                     ignored (POSIX), and "own group" when it leads its
//                     own process group
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <shellapi.h>
#else
#include <csignal>
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
std::string narrow(const wchar_t* wide) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    std::string text(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), n, nullptr, nullptr);
    return text;
}

std::vector<std::string> arguments(int, char**) {
    int count = 0;
    LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 1; i < count; ++i) args.push_back(narrow(words[i]));
    LocalFree(words);
    return args;
}

long read_in(char* buffer, std::size_t n) {
    DWORD got = 0;
    if (!ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, DWORD(n), &got, nullptr)) return 0;
    return long(got);
}

void write_to(int stream, const std::string& bytes) {
    const HANDLE h = GetStdHandle(stream == 1 ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    DWORD written = 0;
    for (std::size_t done = 0; done < bytes.size(); done += written)
        if (!WriteFile(h, bytes.data() + done, DWORD(bytes.size() - done), &written, nullptr))
            std::exit(120);
}

[[noreturn]] void end_with(unsigned long code) {
    ExitProcess(static_cast<UINT>(code));
}
#else
std::vector<std::string> arguments(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

long read_in(char* buffer, std::size_t n) {
    const ssize_t got = ::read(0, buffer, n);
    return got > 0 ? long(got) : 0;
}

void write_to(int stream, const std::string& bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(stream, bytes.data() + done, bytes.size() - done);
        if (n <= 0) std::exit(120);
        done += std::size_t(n);
    }
}

[[noreturn]] void end_with(unsigned long code) {
    std::exit(int(code));
}
#endif

unsigned long long number(const std::vector<std::string>& args, std::size_t i) {
    return i < args.size() ? std::strtoull(args[i].c_str(), nullptr, 0) : 0;
}

std::string hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (const unsigned char c : bytes) {
        text += digits[c >> 4];
        text += digits[c & 15];
    }
    return text;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args = arguments(argc, argv);
    const std::string command = args.empty() ? "" : args[0];
    char buffer[64 * 1024];
    if (command == "args") {
        for (std::size_t i = 1; i < args.size(); ++i) write_to(1, "arg " + hex(args[i]) + "\n");
    } else if (command == "echo") {
        for (long n; (n = read_in(buffer, sizeof buffer)) > 0;) write_to(1, std::string(buffer, n));
    } else if (command == "count" || command == "wait-eof") {
        const auto pause = std::chrono::milliseconds(number(args, 1));
        std::uint64_t total = 0, hash = 0xcbf29ce484222325ULL, since_pause = 0;
        for (long n; (n = read_in(buffer, sizeof buffer)) > 0;) {
            for (long i = 0; i < n; ++i)
                hash = (hash ^ static_cast<unsigned char>(buffer[i])) * 0x100000001b3ULL;
            total += std::uint64_t(n);
            since_pause += std::uint64_t(n);
            if (command == "count" && since_pause >= sizeof buffer) {
                since_pause = 0;
                std::this_thread::sleep_for(pause);
            }
        }
        if (command == "wait-eof") {
            write_to(1, "eof after " + std::to_string(total) + "\n");
            end_with(3);
        }
        char text[64];
        std::snprintf(text, sizeof text, "got %llu %016llx\n",
                      static_cast<unsigned long long>(total),
                      static_cast<unsigned long long>(hash));
        write_to(1, text);
    } else if (command == "stderr") {
        const auto n = number(args, 1);
        for (unsigned long long i = 1; i <= n; ++i)
            write_to(2, "err " + std::to_string(i) + (i < n ? "\n" : ""));
        end_with(static_cast<unsigned long>(number(args, 2)));
    } else if (command == "exit") {
        end_with(static_cast<unsigned long>(number(args, 1)));
    } else if (command == "signal") {
#ifndef _WIN32
        std::raise(int(number(args, 1)));
#endif
        return 99;
    } else if (command == "flood") {
        const auto n = number(args, 1);
        std::string lines;
        for (unsigned long long i = 1; i <= n; ++i) {
            std::string line = "line " + std::to_string(i) + " ";
            line.resize(99, '.');
            lines += line + "\n";
        }
        write_to(1, lines);
    } else if (command == "longline") {
        write_to(1, std::string(number(args, 1), 'x') + "\nok\n");
    } else if (command == "partial") {
        write_to(1, "first\nsecond");
    } else if (command == "sleep") {
        std::this_thread::sleep_for(std::chrono::seconds(60));
    } else if (command == "signals") {
#ifndef _WIN32
        sigset_t blocked;
        sigprocmask(SIG_BLOCK, nullptr, &blocked);
        struct sigaction pipe_action {};
        sigaction(SIGPIPE, nullptr, &pipe_action);
        const bool plain = sigismember(&blocked, SIGTERM) == 0 && pipe_action.sa_handler != SIG_IGN;
        write_to(1, std::string(plain ? "default" : "changed") + "\n");
        write_to(1, std::string(getpgrp() == getpid() ? "own group" : "shared group") + "\n");
#endif
    } else {
        write_to(2, "unknown command " + command + "\n");
        return 2;
    }
    return 0;
}
