#!/bin/bash
# Shows that Velmora writes nothing. Runs, under strace on an X server (Xvfb):
#   1. the program itself: start-up, idle, then closed by the window manager's
#      close request (SIGTERM when no xdotool is installed);
#   2. a scripted session through the same windows: previews and viewer round
#      trips over every file of the shared corpus, good and broken.
# and lists every file-system call that could change anything: opening for
# writing, creating, renaming, removing, linking, truncating, changing modes,
# owners, times or attributes. Prints them grouped by path, then judges:
# exit status 0 when nothing touched the pictures' folders or the user's home
# apart from the toolkit's documented caches, 1 otherwise.
# Usage: tools/prove-writes-nothing.sh [build folder, default build/test]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/test}
corpus=$(cd ../shared/corpus && pwd)

for tool in strace xvfb-run; do
    command -v "$tool" >/dev/null || { echo "needs $tool (apt-get install strace xvfb xauth)"; exit 2; }
done
if [ ! -x "$build/velmora" ] || [ ! -x "$build/tests/tst_soak" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$build" -j"$(nproc)" --target velmora tst_soak >/dev/null
fi

build=$(cd "$build" && pwd)
# The traces stay in build/writes-trace for inspection.
out=$PWD/build/writes-trace
rm -rf "$out"
mkdir -p "$out"
# A home of its own, so that anything written there shows.
home="$out/home"
mkdir -p "$home"
calls='execve,clone,clone3,fork,vfork,open,openat,openat2,creat,rename,renameat,renameat2,unlink,unlinkat,mkdir,mkdirat,rmdir,link,linkat,symlink,symlinkat,truncate,ftruncate,chmod,fchmod,fchmodat,chown,fchown,lchown,fchownat,utime,utimes,utimensat,futimesat,setxattr,lsetxattr,fsetxattr,removexattr,lremovexattr,fremovexattr,mknod,mknodat'

session() {
    local name=$1
    shift
    HOME="$home" XDG_CONFIG_HOME= XDG_CACHE_HOME= XDG_DATA_HOME= LANG=ja_JP.UTF-8 QT_QPA_PLATFORM=xcb \
        xvfb-run -a -s '-screen 0 1280x1024x24' \
        strace -f -qq -y -e trace="$calls" -o "$out/$name.trace" "$@" >"$out/$name.out" 2>&1 || true
    echo "  $name: $(wc -l <"$out/$name.trace") traced calls"
}

# 1. The program: started in a corpus folder (so its lists show pictures),
# driven a little with the mouse and keyboard when xdotool is there
# (previews, viewer, next, back, return), then ended by SIGTERM.
cat >"$out/program.sh" <<SCRIPT
#!/bin/bash
cd "$corpus/jpeg/good"
"$build/velmora" &
pid=\$!
sleep 4
wid=\$(timeout 10 xdotool search --onlyvisible --pid \$pid 2>/dev/null | head -1)
if [ -n "\$wid" ]; then
    timeout 5 xdotool mousemove --window \$wid 300 110 click 1
    for k in Down Down Down ctrl+s ctrl+n ctrl+n ctrl+b ctrl+s Down; do
        sleep 0.5
        timeout 5 xdotool key \$k
    done
    sleep 1
    timeout 5 xdotool key ctrl+s
    echo "drove window \$wid"
fi
sleep 1
kill \$pid 2>/dev/null
wait \$pid 2>/dev/null
true
SCRIPT
chmod +x "$out/program.sh"
session program bash "$out/program.sh"

# 2. The session: every corpus file previewed and opened in the viewer.
VELMORA_SOAK_PREVIEWS=1000 VELMORA_SOAK_ROUNDTRIPS=200 session session "$build/tests/tst_soak"
grep -E 'resident memory|PASS|FAIL|Totals' "$out/session.out" | sed 's/^/  session: /' || true

# Keep the calls that change something (any open for writing or creating,
# and every other traced call, which only exists to change things), group
# them by call, path and outcome, and judge them.
python3 - "$out/program.trace" "$out/session.trace" "$corpus" "$home" <<'PY'
import re, sys, collections
traces, corpus, home = sys.argv[1:3], sys.argv[3], sys.argv[4]
call_re = re.compile(r'^\d+\s+([a-z0-9_]+)\((.*)\)\s+=\s+(-?\d+)(?:<[^>]*>)?(?:\s+([A-Z]+))?')
opens = {'open', 'openat', 'openat2'}
seen = collections.Counter()
program = {}  # pid -> the program it runs, from execve (threads and forks inherit)
for trace in traces:
    for line in open(trace, errors='replace'):
        m = call_re.match(line)
        if not m:
            continue
        call, args, ret, err = m.groups()
        pid = line.split()[0]
        if call in ('clone', 'clone3', 'fork', 'vfork'):
            if int(ret) > 0 and pid in program:
                program.setdefault(ret, program[pid])
            continue
        if call == 'execve':
            if ret == '0':
                program[pid] = re.findall(r'"([^"]*)"', args)[0].rsplit('/', 1)[-1]
            continue
        if call in opens and not re.search(r'O_WRONLY|O_RDWR|O_CREAT|O_TRUNC', args):
            continue
        quoted = re.findall(r'"((?:[^"\\]|\\.)*)"', args)
        fd = re.match(r'\d+<([^>]*)>', args)
        path = quoted[-1] if call in ('rename', 'renameat', 'renameat2', 'link', 'linkat', 'symlink', 'symlinkat') and quoted else \
            (quoted[0] if quoted else (fd.group(1) if fd else args[:60]))
        seen[(call, path, err or 'ok', program.get(pid, 'pid ' + pid))] += 1
print('Calls that could change the file system: %d, at %d places' % (sum(seen.values()), len(seen)))
for (call, path, outcome, prog), n in sorted(seen.items(), key=lambda kv: (kv[0][1], kv[0][0])):
    print('  %5d  %-10s %-8s %-40s by %s' % (n, call, outcome, path, prog))
bad = [(c, p, o, g) for (c, p, o, g) in seen if o == 'ok' and (p.startswith(corpus) or
       (p.startswith(home) and not p.startswith(home + '/.cache/fontconfig')))]
if bad:
    print("FAIL: these changed the pictures' folders or the user's home:")
    for b in bad:
        print('  ', *b)
    sys.exit(1)
print("PASS: no picture and nothing of the user's was written, created, renamed or removed.")
PY
