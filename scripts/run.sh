#!/usr/bin/env bash
# The main job: installs what is missing and builds; then, on a machine of its own (TESMAR_ROOT,
# by default build/machine), installs the service KaltrixTesmar through Scmkit as an installer
# would, starts it, and opens TesmarGui, the operator's dialogs. The service is removed again
# when TesmarGui ends.
#
# Without a display (DISPLAY and WAYLAND_DISPLAY unset) it says so and runs the service program
# in console mode instead (tesmarsr -e) until Enter is pressed: it publishes every process of
# this machine as ProcList in that machine's registry
# (HKEY_LOCAL_MACHINE\SOFTWARE\Kaltrix\Tesmar\Ver2\Data).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
bash scripts/install-dependencies.sh
cmake -S . -B build -G Ninja
cmake --build build -j 2

export TESMAR_ROOT=${TESMAR_ROOT:-$top/build/machine}
mkdir -p "$TESMAR_ROOT"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "== KaltrixTesmar installed and started, machine root $TESMAR_ROOT"
  build/bin/tesmar_setup_command install "$top/build/bin/tesmarsr"
  trap 'build/bin/tesmar_setup_command remove' EXIT
  echo "== TesmarGui"
  build/bin/TesmarGui
  exit 0
fi

echo "== No display (DISPLAY is not set): TesmarGui needs one. Running the service in console"
echo "== mode instead: tesmarsr -e, machine root $TESMAR_ROOT"

# Where the sqlite3 shell is at hand, say what was published as soon as it is there.
show_published() {
  command -v sqlite3 >/dev/null || return 0
  for _ in $(seq 100); do
    sleep 0.1
    summary=$(sqlite3 "$TESMAR_ROOT/registry.db" "SELECT 'ProcList published: ' ||
      length(data) || ' bytes, ' || ((length(data) - 24) / 4188) || ' processes'
      FROM registry_values WHERE name = 'ProcList'" 2>/dev/null) || continue
    [ -n "$summary" ] && { echo "$summary"; return 0; }
  done
}
show_published &
build/bin/tesmarsr -e
wait
