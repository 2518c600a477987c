#include "shell/windows_usage.h"

namespace velk2 {

std::string windows_usage_text() {
    return R"text(Usage: velk2.exe ["ARGUMENT"]
       velk2.exe --station [PORT...] [--file FILE] [--count N]
       velk2.exe --station --no-window --file FILE [PORT...] [--count N]
       velk2.exe --help | -h | --version

Flashes a satellite set-top box over a serial line: upload a DSP firmware or a
JPG welcome picture, download a file from the box, in one small window.

The port is the argument's (COMn) when it has one. Otherwise a copy's port
comes from its own file name: a copy named VELK_(COM7).exe talks to COM7;
else the port of the last run, else COM1.

ARGUMENT: only the first text in double quotes that follows a blank is read;
an argument without quotes is not read at all.
  "C:\fw\x.dsp"          upload this file at once, then exit (a path of more
                         than 10 characters; a shorter one is only selected)
  "(COM3){C:\fw\x.dsp}"  port and file: upload at once, then exit
  "(COM3)"               use COM3; choose the file in the window
  (none)                 the window, with the port of the name or the settings
A file dropped onto the program is quoted only when its path holds a blank:
a path without blanks just opens the window.
A copy named VELK_().EXE started without an argument writes a copy
VELK_(COMn).exe for every port of COM1 to COM8 that opens, then exits.

Switches, anywhere in the program's path (e.g. VELK_(COM3)(DBG2).exe):
  (DBG2)    trace every exchange into inp_1.dat and inp_2.dat (current folder)
  (DBGDSP)  upload debug files out.dsp, Pout.dsp, Pin.dsp and diagnostic lines

COMn is opened as \\.\COMn. Settings: HKEY_CURRENT_USER\Software\VELK2.

The flashing station (--station, the first argument; its arguments are read
as any Windows program reads them): one window for many ports. The file (DSP
or JPG) is prepared once; Start arms every port, and one worker process per
port flashes each box that appears on it. Every attempt gets a line in
%LOCALAPPDATA%\VELK2\flash-log.csv, written before the row shows its result;
a log that cannot be written arms nothing.
  PORT...          the ports (COM3), else the value PORTS of the key
                   HKEY_CURRENT_USER\Software\VELK2\STATION (commas or
                   blanks), else COM1 to COM8
  --file FILE      the file to flash
  --count N        stop arming after N attempts in all
  --no-window      without a window (needs --file): starts at once, prints a
                   line per event on standard output, messages on standard
                   error and a summary at the end
The value QUIET of that key: the seconds a line must stay silent after a flash
before its port is armed again (default 5).

Exit status:
  0        a run that ended normally, an automatic upload that ended "done"
  1        an automatic upload that did not end "done", or whose file was
           refused; --station --no-window: an attempt that did not end
           "done", a refused file, a flash log that cannot be written
  2        a bad --station argument
)text";
}

} // namespace velk2
