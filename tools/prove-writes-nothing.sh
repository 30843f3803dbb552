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

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A home of its own, so that anything written there shows.
home="$work/home"
mkdir -p "$home"
calls='open,openat,openat2,creat,rename,renameat,renameat2,unlink,unlinkat,mkdir,mkdirat,rmdir,link,linkat,symlink,symlinkat,truncate,ftruncate,chmod,fchmod,fchmodat,chown,fchown,lchown,fchownat,utime,utimes,utimensat,futimesat,setxattr,lsetxattr,fsetxattr,removexattr,lremovexattr,fremovexattr,mknod,mknodat'

session() {
    local name=$1
    shift
    HOME="$home" XDG_CONFIG_HOME= XDG_CACHE_HOME= XDG_DATA_HOME= LANG=ja_JP.UTF-8 QT_QPA_PLATFORM=xcb \
        xvfb-run -a -s '-screen 0 1280x1024x24' \
        strace -f -qq -y -e trace="$calls" -o "$work/$name.trace" "$@" >"$work/$name.out" 2>&1 || true
}

# 1. The program: up for a few seconds, then asked to close.
cat >"$work/program.sh" <<SCRIPT
#!/bin/bash
"$PWD/$build/velmora" &
pid=\$!
sleep 4
if command -v xdotool >/dev/null; then
    xdotool search --sync --onlyvisible --pid \$pid windowactivate --sync key --clearmodifiers alt+F4 || true
    sleep 1
fi
kill \$pid 2>/dev/null || true
wait \$pid 2>/dev/null || true
SCRIPT
chmod +x "$work/program.sh"
session program bash "$work/program.sh"

# 2. The session: every corpus file previewed and opened in the viewer.
VELMORA_SOAK_PREVIEWS=1000 VELMORA_SOAK_ROUNDTRIPS=200 session session "$build/tests/tst_soak"
grep -E 'resident memory|PASS|FAIL|Totals' "$work/session.out" | sed 's/^/  session: /' || true

# Keep the calls that change something: any open for writing or creating,
# and every other call in the list (they only exist to change things).
changes="$work/changes.txt"
cat "$work/program.trace" "$work/session.trace" \
    | grep -v -E '^[0-9]+ +\+\+\+|^[0-9]+ +---|resumed>' \
    | grep -E '(open|openat|openat2)\(.*(O_WRONLY|O_RDWR|O_CREAT|O_TRUNC)|^[0-9]+ +(creat|rename|renameat|renameat2|unlink|unlinkat|mkdir|mkdirat|rmdir|link|linkat|symlink|symlinkat|truncate|ftruncate|chmod|fchmod|fchmodat|chown|fchown|lchown|fchownat|utime|utimes|utimensat|futimesat|setxattr|lsetxattr|fsetxattr|removexattr|lremovexattr|fremovexattr|mknod|mknodat)\(' \
    | sed -E 's/^[0-9]+ +//' >"$changes" || true

echo "Calls that could change the file system: $(wc -l <"$changes")"
# Group by call and path (the first quoted string or <fd path>), with outcome.
sed -E 's/^([a-z0-9]+)\(([^"<]*)("([^"]*)"|<([^>]*)>)?.*= (-?[0-9]+)( ([A-Z]+))?.*$/\1\t\4\5\t\8/' "$changes" \
    | awk -F'\t' '{ key=$1"\t"$2"\t"($3==""?"ok":$3); n[key]++ } END { for (k in n) print n[k]"\t"k }' \
    | sort -t$'\t' -k3 | column -t -s$'\t' | sed 's/^/  /'

# Judge. The user's files: the pictures' folders and the home folder.
bad=0
if grep -F -e "$corpus" "$changes" | grep -v -E '= -1 E' >/dev/null; then
    echo "FAIL: something changed under the pictures' folder $corpus:"
    grep -F -e "$corpus" "$changes" | sed 's/^/  /'
    bad=1
fi
# In the home folder only the font configuration's cache may appear.
if grep -F -e "$home" "$changes" | grep -v -E '= -1 E' | grep -v -E "$home/\.cache/fontconfig" >/dev/null; then
    echo "FAIL: something other than the font cache changed in the home folder:"
    grep -F -e "$home" "$changes" | grep -v "$home/.cache/fontconfig" | sed 's/^/  /'
    bad=1
fi
[ "$bad" -eq 0 ] && echo "PASS: no picture and nothing of the user's was written, created, renamed or removed."
exit $bad
