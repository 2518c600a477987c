#!/usr/bin/env python3
"""Puts ten deliberate faults into the loader, one at a time, and checks that
the tests meant to catch each one do.

The faults go into a copy of the committed tree (HEAD), made with
`git worktree` in a temporary folder, never into the checkout; the copy is
removed at the end, after a failure or Ctrl+C too. Uncommitted changes are
not checked: commit first. The copy is configured as the service build
(preset service) without optimisation, builds only the unit-test files the
faults need, once; each fault then recompiles only what it touches and runs
only its tests (a gtest filter).

Exits 0 when every fault is caught, 1 when a fault is missed, when its text
is not in its file exactly once (the code moved on: update the table), when
it does not build, or when its tests do not pass on the tree as committed.
Usage:
    python3 scripts/fault-check.py
"""
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

PROGRAM = "velk2_tests"

# name, file, text, faulty text, test file(s), the tests that must catch it
FAULTS = [
    ("a wrong CRC byte", "src/upload/ymodem_stream.cpp",
     "out.push_back(static_cast<char>(crc & 0xFF));",
     "out.push_back(static_cast<char>((crc & 0xFF) ^ 1));",
     ["ymodem_stream_test"], "LetStream.*"),
    ("block number not wrapping", "src/upload/ymodem_stream.cpp",
     "static_cast<unsigned char>(k & 0xFF);",
     "static_cast<unsigned char>(k < 255 ? k : 255);",
     ["ymodem_stream_test"], "LetStream.*"),
    ("the 0x1E 0xFE fall-back skipped", "src/upload/upload_driver.cpp",
     "if (ctx.iui == c_at_115200) return WaitEnd::fall_back;", "",
     ["upload_driver_test"], "UploadHandshake.*"),
    ("off-by-one in the download's last block", "src/download/download_receive.cpp",
     "for (std::uint32_t k = 1; k <= count; ++k) {",
     "for (std::uint32_t k = 1; k + 1 <= count && k < count; ++k) {",
     ["download_receive_test"], "DownloadReceive.*"),
    ("a missing port close on a failure path", "src/upload/upload_driver.cpp",
     "        port_close(ctx_);\n", "\n",
     ["upload_driver_test"], "UploadInterrupted.*:UploadHandshake.*"),
    ("a wrong monitor command byte", "src/fuji/monitor_commands.cpp",
     "return command('\\x04', address);", "return command('\\x05', address);",
     ["monitor_commands_test", "fuji_frame_test", "fuji_put_test"],
     "MonitorCommands.*:FujiFrame.*:FujiPut.*"),
    ("a read-back that stops early", "src/service/service_pieces.cpp",
     "if (done >= readback_limit) break;", "if (done >= readback_limit / 2) break;",
     ["service_upload_test"], "ServiceUpload.*"),
    ("the wrong settings key", "src/download/download_receive.cpp",
     'store_setting(ctx, "LAST", "DOWN", chosen);',
     'store_setting(ctx, "LAST", "DOWNLOAD", chosen);',
     ["download_receive_test"], "DownloadReceive.*"),
    ("a guard that lets a second exchange in", "src/session/exchange_guard.cpp",
     "if (ctx.exchange == Exchange::none) return false;", "return false;",
     ["exchange_guard_test", "upload_driver_test", "download_receive_test"],
     "ExchangeGuard.*:UploadGuard.*:DownloadReceive.NoSecondDownload*"),
    ("a panel text at the wrong column", "src/shell/panel.cpp",
     "status_text(ctx_, length_field, format_length(bytes));",
     "status_text(ctx_, Field{length_field.column + 1, length_field.row, length_field.width},\n"
     "                    format_length(bytes));",
     ["download_receive_test", "upload_driver_test"], "DownloadReceive.*:UploadHandshake.*"),
]


def run(cmd, cwd):
    return subprocess.run(cmd, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          text=True)


def git(*args, cwd):
    result = run(["git", *args], cwd)
    if result.returncode:
        raise SystemExit(f"git {' '.join(args)}: {result.stdout.strip()}")
    return result.stdout.strip()


def build(tree, build_dir):
    """Builds the test program; None when it built, else the end of the log."""
    result = run(["cmake", "--build", build_dir, "-j2", "--target", PROGRAM], tree)
    return None if result.returncode == 0 else "\n".join(result.stdout.splitlines()[-15:])


def run_tests(program, tree, test_filter):
    """(number of tests run, names of the failed ones, exit status)."""
    result = run([program, f"--gtest_filter={test_filter}", "--gtest_brief=1"], tree)
    ran = re.search(r"^\[==========\] (\d+) tests? from", result.stdout, re.M)
    failed = re.findall(r"^\[  FAILED  \] ([\w/.]+)", result.stdout, re.M)
    return (int(ran.group(1)) if ran else 0), sorted(set(failed)), result.returncode


def drifted(tree):
    """The faults whose text is not in their file exactly once."""
    problems = []
    for name, path, old, _, _, _ in FAULTS:
        try:
            with open(os.path.join(tree, path)) as f:
                count = f.read().count(old)
        except FileNotFoundError:
            count = 0
        if count != 1:
            problems.append(f"{name}: its text is in {path} {count} times, not once: {old!r}")
    return problems


def check(tree):
    build_dir = os.path.join(tree, "build-service")
    files = sorted({f for fault in FAULTS for f in fault[4]})
    started = time.monotonic()
    result = run(["cmake", "--preset", "service", "-DCMAKE_BUILD_TYPE=Debug",
                  "-DCMAKE_CXX_FLAGS_DEBUG=-O0", f"-DVELK2_UNIT_TEST_FILES={';'.join(files)}"],
                 tree)
    if result.returncode:
        print(result.stdout)
        return ["the service build does not configure"]
    log = build(tree, build_dir)
    if log:
        print(log)
        return ["the tree as committed does not build"]
    program = os.path.join(build_dir, "tests", PROGRAM)
    print(f"built {PROGRAM} of {len(files)} test files in {time.monotonic() - started:.0f} s")

    # Each fault's tests must run and pass as committed, else catching the
    # fault would prove nothing.
    problems = []
    for name, _, _, _, _, test_filter in FAULTS:
        ran, failed, status = run_tests(program, tree, test_filter)
        if ran == 0:
            problems.append(f"{name}: its tests ({test_filter}) select nothing")
        elif status:
            problems.append(f"{name}: its tests fail as committed: {', '.join(failed)}")
    if problems:
        return problems

    for name, path, old, new, _, test_filter in FAULTS:
        started = time.monotonic()
        file = os.path.join(tree, path)
        with open(file) as f:
            text = f.read()
        try:
            with open(file, "w") as f:
                f.write(text.replace(old, new))
            log = build(tree, build_dir)
            if log:
                print(log)
                problems.append(f"{name}: does not build")
                continue
            ran, failed, status = run_tests(program, tree, test_filter)
        finally:
            with open(file, "w") as f:
                f.write(text)
        seconds = time.monotonic() - started
        if status:
            shown = ", ".join(failed[:3]) + (", ..." if len(failed) > 3 else "")
            print(f"caught: {name}: {len(failed)} of {ran} tests fail ({shown}); {seconds:.0f} s")
        else:
            print(f"MISSED: {name}: all {ran} tests of {test_filter} pass; {seconds:.0f} s")
            problems.append(f"{name}: missed")
    return problems


def stop_on_signal(number, _frame):
    raise SystemExit(128 + number)


def main():
    signal.signal(signal.SIGTERM, stop_on_signal)
    signal.signal(signal.SIGHUP, stop_on_signal)
    root = git("rev-parse", "--show-toplevel", cwd=os.path.dirname(os.path.abspath(__file__)))
    head = git("rev-parse", "--short", "HEAD", cwd=root)
    if git("status", "--porcelain", "--untracked-files=no", cwd=root):
        print("note: uncommitted changes are not checked; the copy is HEAD")
    temp = tempfile.mkdtemp(prefix="velk2-faults-")
    tree = os.path.join(temp, "tree")
    started = time.monotonic()
    try:
        git("worktree", "add", "--detach", tree, "HEAD", cwd=root)
        print(f"faults into a copy of {head} at {tree}")
        problems = drifted(tree) or check(tree)
    finally:
        # The copy goes whatever happened; a second Ctrl+C must not stop that.
        for number in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            signal.signal(number, signal.SIG_IGN)
        run(["git", "worktree", "remove", "--force", tree], root)
        shutil.rmtree(temp, ignore_errors=True)
        run(["git", "worktree", "prune"], root)
    seconds = time.monotonic() - started
    if problems:
        print(f"FAILED after {seconds:.0f} s:")
        for problem in problems:
            print(f"  {problem}")
        sys.exit(1)
    print(f"{len(FAULTS)} of {len(FAULTS)} faults caught in {seconds:.0f} s")


main()
