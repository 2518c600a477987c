#!/usr/bin/env python3
"""Puts ten deliberate faults into the loader, one at a time, and tells which
of them the test suite catches. Each fault is a text replacement in one source
file; the tree is restored after each run. Usage:
    scripts/fault-check.py [build-dir]   (default build-faults)
"""
import os
import subprocess
import sys

FAULTS = [
    ("a wrong CRC byte", "src/upload/ymodem_stream.cpp",
     "out.push_back(static_cast<char>(crc & 0xFF));",
     "out.push_back(static_cast<char>((crc & 0xFF) ^ 1));"),
    ("block number not wrapping", "src/upload/ymodem_stream.cpp",
     "static_cast<unsigned char>(k & 0xFF);",
     "static_cast<unsigned char>(k < 255 ? k : 255);"),
    ("the 0x1E 0xFE fall-back skipped", "src/upload/upload_driver.cpp",
     "if (ctx.iui == c_at_115200) return WaitEnd::fall_back;", ""),
    ("off-by-one in the download's last block", "src/download/download_receive.cpp",
     "for (std::uint32_t k = 1; k <= count; ++k) {",
     "for (std::uint32_t k = 1; k + 1 <= count && k < count; ++k) {"),
    ("a missing port close on a failure path", "src/upload/upload_driver.cpp",
     "        port_close(ctx_);\n", "\n"),
    ("a wrong monitor command byte", "src/fuji/monitor_commands.cpp",
     "return command('\\x04', address);", "return command('\\x05', address);"),
    ("a read-back that stops early", "src/service/service_pieces.cpp",
     "if (done >= readback_limit) break;", "if (done >= readback_limit / 2) break;"),
    ("the wrong settings key", "src/download/download_receive.cpp",
     'store_setting(ctx, "LAST", "DOWN", chosen);', 'store_setting(ctx, "LAST", "DOWNLOAD", chosen);'),
    ("a panel text at the wrong column", "src/shell/window_layout.h",
     "length_field{91, 12, 9};", "length_field{92, 12, 9};"),
    ("a guard that lets a second exchange in", "src/session/exchange_guard.cpp",
     "if (ctx.exchange == Exchange::none) return false;", "return false;"),
]


def run(cmd, **kw):
    return subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, **kw)


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    build = os.path.join(root, sys.argv[1] if len(sys.argv) > 1 else "build-faults")
    os.chdir(root)
    if run(["cmake", "-S", ".", "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
            "-DVELK2_SERVICE_MODE=ON"]).returncode:
        sys.exit("configure failed")
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    caught = 0
    for name, path, old, new in FAULTS:
        text = open(path).read()
        if text.count(old) != 1:
            print(f"{name}: the line to change is not in {path} once")
            continue
        try:
            open(path, "w").write(text.replace(old, new))
            if run(["cmake", "--build", build, "-j2"]).returncode:
                print(f"{name}: does not build")
                continue
            result = run(["ctest", "--test-dir", build, "-j2", "--timeout", "120"], env=env)
            failed = [l.split(" - ")[1].split(" (")[0] for l in result.stdout.splitlines()
                      if " - " in l and "(Failed" in l or "(Timeout" in l or "(SEGFAULT" in l]
            if result.returncode:
                caught += 1
                print(f"{name}: caught by {len(failed)} tests, e.g. {', '.join(failed[:3])}")
            else:
                print(f"{name}: MISSED")
        finally:
            open(path, "w").write(text)
    run(["cmake", "--build", build, "-j2"])
    print(f"{caught} of {len(FAULTS)} faults caught")


main()
