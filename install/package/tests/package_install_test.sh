#!/usr/bin/env bash
# The package on this machine, as root: installs it with apt-get, checks what it installed (the
# group and the machine root, the service KaltrixTesmar running under the built-in manager and
# publishing ProcList in /var/lib/tesmar, a request applied, the init script that starts it at
# boot, TesmarGui on an X server, who may write the Data key), removes it (the service stopped and gone) and purges it. Whatever
# happens, the machine is left as it was: the package purged, the machine root and the group
# gone. It skips (exit 77) where it is not root, or where Tesmar is installed already or left
# something behind, so that it never touches an operator's installation.
#
#   package_install_test.sh BUILD_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
data_key='SOFTWARE\Kaltrix\Tesmar\Ver2\Data'
root=/var/lib/tesmar
failures=0

skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
check() { # check DESCRIPTION COMMAND...: runs the command, counts a failure when it fails
  local description=$1
  shift
  if "$@"; then echo "ok: $description"; else fail "$description"; fi
}

[ "$(id -u)" -eq 0 ] || skip "needs root to install a package"
# One such test a machine at a time, whichever build it comes from.
exec 9>/run/lock/tesmar-package-install-test
flock -w 900 9 || skip "another package install test holds the machine"
dpkg-query -W -f='${Status}' tesmar 2>/dev/null | grep -q 'ok installed' &&
  skip "the package tesmar is installed on this machine"
[ -e "$root" ] && skip "$root exists"
getent group tesmar >/dev/null && skip "the group tesmar exists"
[ -e /etc/init.d/tesmar ] && skip "/etc/init.d/tesmar exists"
debs=("$build"/tesmar_*_amd64.deb)
[ -f "${debs[0]}" ] || { echo "FAILED: no package in $build"; exit 1; }
deb=${debs[0]}

export DEBIAN_FRONTEND=noninteractive
unset TESMAR_ROOT
sleeper=
restore() {
  [ -n "$sleeper" ] && kill "$sleeper" 2>/dev/null
  if dpkg-query -W -f='${Status}' tesmar 2>/dev/null | grep -q 'install\|config-files'; then
    apt-get purge -y -q tesmar >/dev/null 2>&1 || dpkg --purge --force-all tesmar >/dev/null 2>&1
  fi
  # A service the package could not stop is ended by the pid its record names.
  if [ -f "$root/services/kaltrixtesmar/status" ]; then
    pid=$(awk '{print $8; exit}' "$root/services/kaltrixtesmar/status" 2>/dev/null)
    [ -n "$pid" ] && [ "$(readlink "/proc/$pid/exe" 2>/dev/null)" = /usr/lib/tesmar/tesmarsr ] &&
      kill -9 "$pid" 2>/dev/null
  fi
  rm -rf "$root"
  getent group tesmar >/dev/null && groupdel tesmar
  return 0
}
trap restore EXIT
trap 'exit 1' INT TERM

echo "== the package's contents: $deb"
contents=$(dpkg-deb -c "$deb" | awk '{ $1 = $2 = $3 = $4 = $5 = ""; sub(/^ +/, ""); print }')
for path in ./usr/bin/TesmarGui ./usr/bin/tesmar-remote \
  "./usr/sbin/tesmarsr -> ../lib/tesmar/tesmarsr" ./usr/lib/tesmar/tesmarsr \
  ./usr/lib/tesmar/tesmar_setup_command ./usr/lib/tesmar/Uninstall \
  ./usr/lib/tesmar/tesmar-uninstaller ./usr/lib/tesmar/libtesmar_platform.so \
  ./usr/lib/tesmar/libCpumask.so ./usr/lib/tesmar/libTesmarApi.so ./usr/lib/tesmar/libScmkit.so \
  ./usr/share/applications/tesmar.desktop ./usr/share/icons/hicolor/scalable/apps/tesmar.svg \
  ./usr/share/man/man1/TesmarGui.1.gz ./usr/share/man/man8/tesmarsr.8.gz \
  ./usr/share/doc/tesmar/copyright ./usr/share/doc/tesmar/changelog.gz ./etc/init.d/tesmar \
  "./lib/systemd/system/tesmar.service -> /dev/null"; do
  check "the package holds $path" grep -qxF -- "$path" <<<"$contents"
done
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for library in libqt6widgets6 libsqlite3-0 libstdc++6 libc6 passwd; do
  check "it depends on $library" grep -q "\b$library\b" <<<"$depends"
done

echo "== apt-get install $deb"
check "apt-get installs it" apt-get install -y -q -o DPkg::Lock::Timeout=300 "$deb"
check "the group tesmar exists" getent group tesmar
check "the machine root is root:tesmar, 2770" \
  test "$(stat -c '%U:%G %a' "$root" 2>/dev/null)" = "root:tesmar 2770"
check "InstallDir names the install folder" test "$(TESMAR_ROOT=$root "$build/bin/registry_helper" \
  get 'SOFTWARE\Kaltrix\Tesmar\Ver2' InstallDir)" = "value /usr/lib/tesmar"
check "the installed programs use the installed libraries" \
  sh -c 'ldd /usr/bin/TesmarGui | grep -Eq "libTesmarApi.so => /usr/(bin/\.\./)?lib/tesmar/"'

pid=$(awk '{print $8; exit}' "$root/services/kaltrixtesmar/status" 2>/dev/null)
check "KaltrixTesmar runs the installed tesmarsr" \
  test "$(readlink "/proc/${pid:-0}/exe" 2>/dev/null)" = /usr/lib/tesmar/tesmarsr
published=$(sqlite3 "$root/registry.db" \
  "SELECT (length(data) - 24) % 4188, (length(data) - 24) / 4188 FROM registry_values
   WHERE name = 'ProcList'" 2>&1)
echo "ProcList: $published (records: remainder, count)"
check "it published ProcList in $root" grep -Eq '^0\|[1-9][0-9]*$' <<<"$published"

echo "== the init script (what runs at boot and shutdown without systemd)"
service_pid() { awk '{print $8; exit}' "$root/services/kaltrixtesmar/status" 2>/dev/null; }
process_ends() { timeout 60 sh -c "while kill -0 ${1:-0} 2>/dev/null; do sleep 0.1; done"; }
check "it starts at boot and stops at shutdown" \
  sh -c '{ ls /etc/rc2.d/S??tesmar && ls /etc/rc0.d/K??tesmar; } >/dev/null'
check "status tells it runs" test "$(/etc/init.d/tesmar status)" = "KaltrixTesmar: running"
check "stop stops it" /etc/init.d/tesmar stop
# The process ends right after its stopped report.
check "the service process ends" process_ends "$pid"
/etc/init.d/tesmar status >/dev/null
check "status then answers 3" test $? -eq 3
check "start starts it" /etc/init.d/tesmar start
pid=$(service_pid)
check "the installed tesmarsr runs again" \
  test "$(readlink "/proc/${pid:-0}/exe" 2>/dev/null)" = /usr/lib/tesmar/tesmarsr
# A service that ended without stopping (a crash, or a machine turned off) leaves its record
# saying it runs; the boot pass starts it all the same.
kill -9 "${pid:-0}"
check "the killed service ends" process_ends "$pid"
check "a killed service is started again by the boot pass" /etc/init.d/tesmar start
pid=$(service_pid)
check "and runs" test "$(readlink "/proc/${pid:-0}/exe" 2>/dev/null)" = /usr/lib/tesmar/tesmarsr

sleep 1000 &
sleeper=$!
check "a request through the installed service is applied" \
  test "$(TESMAR_ROOT=$root "$build/bin/tesmar_far_client" "$sleeper" 1)" = "done 0"
check "the process now runs on processor 0 only" \
  sh -c "taskset -p $sleeper | grep -q 'mask: 1$'"
kill "$sleeper"
sleeper=

echo "== TesmarGui on an X server"
check "the installed TesmarGui opens its window" env -u QT_QPA_PLATFORM \
  xvfb-run -a -s '-screen 0 800x600x24' sh -c '/usr/bin/TesmarGui & gui=$!
    timeout 60 xdotool search --sync --onlyvisible --pid "$gui" >/dev/null; found=$?
    kill "$gui"; wait "$gui"; exit "$found"'

echo "== who may write the Data key"
access_as() { # access_as SETPRIV_GROUP_OPTION: the first answer of registry_helper access
  setpriv --reuid=65534 --regid=65534 "$@" env TESMAR_ROOT=$root \
    "$build/bin/registry_helper" access "$data_key" | head -n 1
}
group_id=$(getent group tesmar | cut -d: -f3)
check "nobody outside the group may not open it for writing" \
  test "$(access_as --clear-groups)" = "open-all-access 5"
check "nobody in the group may" test "$(access_as --groups="$group_id")" = "open-all-access 0"

echo "== apt-get remove tesmar"
check "apt-get removes it" apt-get remove -y -q -o DPkg::Lock::Timeout=300 tesmar
check "the service has stopped" process_ends "$pid"
check "its programs are gone" test ! -e /usr/bin/TesmarGui -a ! -e /usr/lib/tesmar
check "its service definition is gone" test ! -e "$root/services/kaltrixtesmar/status"
check "the init script stays until purge, and does nothing" /etc/init.d/tesmar start
check "apt-get purges it" apt-get purge -y -q -o DPkg::Lock::Timeout=300 tesmar
check "the machine root is gone" test ! -e "$root"
check "the group is gone" sh -c '! getent group tesmar'
check "the init script and its links are gone" \
  sh -c '! ls /etc/init.d/tesmar /etc/rc?.d/[SK]??tesmar' 2>/dev/null

[ "$failures" -eq 0 ] && echo "every check passed"
[ "$failures" -eq 0 ]
