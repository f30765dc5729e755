#!/usr/bin/env bash
# SETUP.EXE as a customer starts it from a Downloads folder in which others
# have left files: DLLs of the names Windows looks for beside a program, and
# catalogs in a locale folder. None of them may take over the wizard.
#
# Wine prefers its own DLLs and ignores copies beside a program, so a test
# of its defaults would pass for the wrong reason. Windows loads a DLL that
# is not on its KnownDLLs list from the program's folder first; the
# per-program override below (native,builtin for each planted name) makes
# Wine search the same way. It lives in a Wine prefix of its own, since it
# applies to every program named SETUP.EXE.
#
#   planted.sh SETUP.EXE UIDRIVER.EXE TLS-PORT WORK-DIR CC SOURCE-DIR [ARTIFACTS-DIR]
#
# SETUP.EXE is the development build for https://localhost:TLS-PORT; a
# listener there takes each connection and closes it, so that the wizard
# goes as far as its TLS code before its error box, or, when nothing
# listens, stops at the refused connection. ARTIFACTS-DIR, when given,
# receives the error box of the planted catalog as a PNG.
set -uo pipefail
setup=$1 driver=$2 port=$3 work=$4 cc=$5 source=$6 artifacts=${7:-}
here=$(cd "$(dirname "$0")" && pwd)
wine_run="$here/../../../scripts/wine-run"
. "$here/drive_setup.sh"
rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)
export ZEPHORA_WINE_STATE="$work/wine"
listener_pid=
cleanup() {
  [ -n "$listener_pid" ] && kill "$listener_pid" 2>/dev/null
  "$wine_run" --stop
}
trap cleanup EXIT
failures=0

if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
  echo "something listens on 127.0.0.1:$port; this test serves that port itself"
  exit 1
fi

# The wizard as downloaded, in a folder that others can write to.
downloads="$work/Downloads"
mkdir -p "$downloads"
cp "$setup" "$downloads/SETUP.EXE"
# Unmanaged windows, as in the shared prefix (see tests/CMakeLists.txt).
"$wine_run" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null
system32="$ZEPHORA_WINE_STATE/prefix/drive_c/windows/system32"

# Accepts connections on the TLS port and closes each one unanswered.
start_listener() {
  python3 - "$port" <<'EOF' &
import socket, sys
server = socket.socket()
server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
server.bind(("127.0.0.1", int(sys.argv[1])))
server.listen(8)
while True:
    peer, _ = server.accept()
    peer.settimeout(5)
    try:
        peer.recv(4096)
    except OSError:
        pass
    peer.close()
EOF
  listener_pid=$!
  for _ in $(seq 50); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && return 0
    sleep 0.1
  done
  echo "the listener on port $port did not start"
  exit 1
}
stop_listener() {
  kill "$listener_pid" 2>/dev/null
  wait "$listener_pid" 2>/dev/null
  listener_pid=
}

# walk LOCALE STEPS...: starts the planted SETUP.EXE in that language and
# walks it from its first page to its error box with uidriver; the steps
# follow at the error box. The driver's report lands in $work/driver.log.
walk() {
  local locale=$1
  shift
  env -u LANG LC_ALL="$locale.UTF-8" "$wine_run" "$downloads/SETUP.EXE" >/dev/null 2>&1 &
  local setup_pid=$!
  timeout 120 "$wine_run" "$driver" wait-page Start click "Volgende >" wait-page Locatie \
    click "Volgende >" wait-page ProxySettings click "Volgende >" "$@" \
    click "Voltooien" wait-closed >"$work/driver.log" 2>&1
  local rc=$?
  end_setup $setup_pid
  return $rc
}

report() {
  local name=$1 ok=$2
  if [ "$ok" = 0 ]; then
    echo "   ok"
  else
    failures=$((failures + 1))
    echo "   FAILED ($name); driver said:"
    sed 's/^/     /' "$work/driver.log"
  fi
}

# --- planted DLLs ---------------------------------------------------------
# Each proxy forwards every export to the system's DLL of its name, so the
# wizard works as before, and leaves NAME.dll.ran beside itself when Windows
# (here: Wine) runs its DllMain inside the process.
planted_dlls="secur32 crypt32 version uxtheme dwmapi bcrypt sspicli dnsapi iphlpapi"
build_proxy() {
  local name=$1 exports="$work/proxies/$1.def"
  {
    echo "LIBRARY $name.dll"
    echo "EXPORTS"
    x86_64-w64-mingw32-objdump -p "$system32/$name.dll" |
      sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/s/^\s*\[ *[0-9]*\] \(\S\S*\)$/\1/p' |
      while read -r symbol; do
        echo "  $symbol = \"C:\\windows\\system32\\$name.$symbol\""
      done
  } >"$exports"
  "$cc" -shared -nostartfiles -Wl,--entry,DllMain -o "$downloads/$name.dll" \
    "$work/proxies/proxy.c" "$exports"
}
mkdir -p "$work/proxies"
cat >"$work/proxies/proxy.c" <<'EOF'
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) {
    wchar_t path[MAX_PATH + 8];
    const DWORD n = GetModuleFileNameW(self, path, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
      lstrcatW(path, L".ran");
      HANDLE marker = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
      if (marker != INVALID_HANDLE_VALUE)
        CloseHandle(marker);
    }
  }
  return TRUE;
}
EOF

# prefer_beside PROGRAM: Wine looks for each planted name beside PROGRAM
# first, as Windows does for a DLL that is not a KnownDLL.
prefer_beside() {
  local program=$1 file="$work/proxies/$1.reg"
  {
    printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\%s\\DllOverrides]\n' "$program"
    for dll in $planted_dlls; do printf '"%s"="native,builtin"\n' "$dll"; done
  } >"$file"
  "$wine_run" regedit /S "Z:${file//\//\\}"
}

echo "== planted DLLs: none runs inside SETUP.EXE"
for name in $planted_dlls; do
  build_proxy "$name" || { echo "   could not build the proxy $name.dll"; exit 1; }
done
prefer_beside SETUP.EXE
# probe NAME SOURCE [LIBRARY]: a program of ours beside the proxies, with the
# same override as SETUP.EXE; prints the proxies whose DllMain ran in it.
probe() {
  local name=$1 source=$2 library=${3:-}
  printf '%s\n' "$source" >"$work/proxies/$name.c"
  "$cc" -o "$downloads/$name.exe" "$work/proxies/$name.c" ${library:+"-l$library"} || return 1
  prefer_beside "$name.exe"
  rm -f "$downloads"/*.ran
  "$wine_run" "$downloads/$name.exe" >/dev/null 2>&1
  rm -f "$downloads/$name.exe"
  ran_markers
}
ran_markers() {
  (cd "$downloads" && ls -- *.ran 2>/dev/null | sed 's/\.dll\.ran$//' | tr 'A-Z' 'a-z' | sort)
}

# The trap works: a program that loads a DLL by its name gets the proxy.
if [ "$(probe loads-version '#include <windows.h>
int main(void) { return LoadLibraryW(L"version.dll") != NULL ? 0 : 1; }')" != version ]; then
  echo "   FAILED: a program that loads version.dll by its name did not run the proxy"
  exit 1
fi
# What Wine loads on its own account: a program that restricts its DLL
# search to System32 before anything else, as SETUP.EXE does, and shows a
# window. Wine's user32 imports version.dll, and Wine's user32 and comctl32
# load uxtheme.dll by a route that ignores the program's restriction; on
# Windows, user32's imports are KnownDLLs and what it loads later follows
# the restriction. These names are left out below, and printed.
wine_own=$(probe restricted-window '#include <windows.h>
#include <commctrl.h>
int main(void) {
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  HWND window = CreateWindowExW(0, L"STATIC", L"probe", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                200, 100, NULL, NULL, NULL, NULL);
  CreateWindowExW(0, L"BUTTON", L"OK", WS_CHILD | WS_VISIBLE, 10, 10, 80, 24, window, NULL, NULL,
                  NULL);
  UpdateWindow(window);
  const DWORD until = GetTickCount() + 1000;
  MSG message;
  while (GetTickCount() < until) {
    while (PeekMessageW(&message, NULL, 0, 0, PM_REMOVE))
      DispatchMessageW(&message);
    Sleep(20);
  }
  return 0;
}' comctl32)
echo "   left out, since Wine loads them for any program that shows a window:" $wine_own
rm -f "$downloads"/*.ran

start_listener
walk nl_BE error-any
rc=$?
stop_listener
if [ $rc = 0 ] && ! grep -qF "Er kon geen beveiligde TLS-verbinding met de server worden opgezet." \
    "$work/driver.log"; then
  echo "   the error box does not tell of the failed TLS handshake"
  rc=1
fi
ran=$(ran_markers | grep -vxF -f <(printf '%s\n' $wine_own) | tr '\n' ' ')
echo "   planted DLLs that ran inside SETUP.EXE:" ${ran:-none}
[ -z "$ran" ] || rc=1
report "planted DLLs" $rc
rm -f "$downloads"/*.dll "$downloads"/*.ran
"$wine_run" reg delete 'HKCU\Software\Wine\AppDefaults\SETUP.EXE' /f >/dev/null

# --- planted catalogs -----------------------------------------------------
# plant_catalog LANGUAGE MSGID MSGSTR: a copy of locale/nl.po in which one
# translation says something else, as locale\LANGUAGE beside SETUP.EXE.
plant_catalog() {
  local language=$1 msgid=$2 msgstr=$3 folder="$downloads/locale/$1/LC_MESSAGES"
  mkdir -p "$folder"
  python3 - "$source/locale/nl.po" "$work/planted-$language.po" "$msgid" "$msgstr" <<'EOF'
import re, sys
source, target, msgid, msgstr = sys.argv[1:]
text = open(source, encoding="utf-8").read()
quoted = lambda s: '"' + s.replace("\\", "\\\\").replace('"', '\\"').replace("\n", "\\n") + '"'
pattern = re.compile(r'(msgid (?:"(?:[^"\\]|\\.)*"\s*)+)msgstr (?:"(?:[^"\\]|\\.)*"\s*)+')
def replace(match):
    ids = "".join(re.findall(r'"((?:[^"\\]|\\.)*)"', match[1]))
    ids = ids.encode().decode("unicode_escape")
    if ids != msgid:
        return match[0]
    return match[1] + "msgstr " + quoted(msgstr) + "\n\n"
changed, count = pattern.subn(replace, text)
open(target, "w", encoding="utf-8").write(changed)
EOF
  msgfmt --check -o "$folder/default.mo" "$work/planted-$language.po"
}

echo "== a planted catalog of a language SETUP.EXE carries leaves its texts alone"
plant_catalog nl_BE "Connection refused." \
  "De verbinding werd geweigerd. Download en start eerst https://example.invalid/windows-fix.exe"
walk nl_BE snap "$work/planted-catalog.bmp" sleep 700 snap "$work/planted-catalog.bmp" \
  expect-dialog "Setup" 'Netwerkfout nr. 10061\r\nDe verbinding werd geweigerd.' "OK" error-any
rc=$?
if [ -n "$artifacts" ] && [ -e "$work/planted-catalog.bmp" ]; then
  mkdir -p "$artifacts"
  convert "$work/planted-catalog.bmp" -define png:exclude-chunk=date,time \
    "$artifacts/planted-catalog.png"
fi
report "planted nl_BE catalog" $rc
rm -rf "$downloads/locale"

echo "== a catalog's placeholder with a huge precision neither freezes nor floods the wizard"
# Italian is a language that SETUP.EXE does not carry, so the folder serves it.
plant_catalog it "Socket Error # %d
%s" "Errore di rete n. %.99999999999d
%s"
zeros=$(printf '0%.0s' $(seq 59))
start=$(date +%s)
walk it_IT expect-dialog "Setup" "Errore di rete n. ${zeros}10061\\r\\nDe verbinding werd geweigerd." "OK" \
  error-any
rc=$?
elapsed=$(($(date +%s) - start))
echo "   the walk took $elapsed s"
report "planted precision" $rc
rm -rf "$downloads/locale"

[ $failures = 0 ]
