# shellcheck shell=bash
# Wine prefixes for the environment checks, sourced by dpi_matrix and theme_check: one ready
# template per build folder, made once, and throw-away copies of it, each with its own
# wineserver, so that no check changes the project's own prefix or another check's.
#
#   environment_setup BUILD_FOLDER      tools, the template; sets env_run, a fresh folder for
#                                       this run's prefixes and files
#   environment_prefix NAME DRIVER DPI  a copy of the template with this display driver and DPI,
#                                       its server running; sets env_prefix to its path
#   environment_stop PREFIX             ends the prefix's server and deletes the copy
#   environment_cleanup                 the same for every prefix still there, and the run folder
#   windows_path PATH                   PATH as a Windows program in a prefix names it
#
env_name=${env_name:-environment}  # the sourcing script's name, for its messages
env_wine=/usr/lib/wine/wine64
env_wineserver=/usr/lib/wine/wineserver64
env_prefixes=()
env_run=
env_prefix=

env_fail() {
  echo "$env_name: $*" >&2
  exit 1
}

env_require() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || [[ -x $tool ]] || env_fail "$tool is missing"
  done
}

windows_path() {
  local absolute
  absolute=$(realpath -m "$1")
  echo "Z:${absolute//\//\\}"
}

# The template of this build folder's checks: a prefix with the null driver, copied from the work
# tree's booted template by tools/wine-run (never hard links: wineserver rewrites the registry
# files in place, which would change the template too). The null driver is set before any copy
# starts, because the default desktop's explorer.exe keeps the driver it started with; a desktop
# started by explorer /desktop=NAME loads the driver anew.
env_make_template() {
  tools/wine-run --prepare "$1" null || env_fail "preparing the template prefix $1 failed"
}

environment_setup() {
  local build=$1
  env_require "$env_wine" "$env_wineserver" flock timeout realpath
  [[ -d $build ]] || env_fail "no build folder $build"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES='mscoree,mshtml='
  export WINESERVER=$env_wineserver
  unset WINEPREFIX
  # No display until a check brings its own: the template never shows anything anywhere.
  unset DISPLAY
  env_template=$(realpath "$build")/environment/wine-template
  mkdir -p "$(dirname "$env_template")"
  env_make_template "$env_template"
  env_run=$(mktemp -d "$(dirname "$env_template")/run.XXXXXX")
}

environment_prefix() {
  local name=$1 driver=$2 dpi=$3
  local prefix=$env_run/$name
  cp -a "$env_template" "$prefix" || env_fail "copying the template prefix failed"
  env_prefixes+=("$prefix")
  # The driver and the DPI are read by every process as it starts, so they hold for all that
  # start in this prefix from now on (the template's default desktop stays on the null driver).
  if ! WINEPREFIX=$prefix "$env_wineserver" -p ||
    ! WINEPREFIX=$prefix timeout 60 "$env_wine" reg add 'HKCU\Software\Wine\Drivers' \
      /v Graphics /t REG_SZ /d "$driver" /f </dev/null >/dev/null 2>&1 ||
    ! WINEPREFIX=$prefix timeout 60 "$env_wine" reg add 'HKCU\Control Panel\Desktop' \
      /v LogPixels /t REG_DWORD /d "$dpi" /f </dev/null >/dev/null 2>&1; then
    env_fail "preparing the prefix $prefix failed"
  fi
  # shellcheck disable=SC2034  # read by the sourcing script
  env_prefix=$prefix
}

environment_stop() {
  local prefix=$1
  WINEPREFIX=$prefix timeout 30 "$env_wineserver" -k 2>/dev/null || true
  WINEPREFIX=$prefix timeout 30 "$env_wineserver" -w 2>/dev/null || true
  rm -rf "$prefix"
}

environment_cleanup() {
  local prefix
  for prefix in "${env_prefixes[@]}"; do
    [[ -d $prefix ]] && environment_stop "$prefix"
  done
  [[ -n $env_run ]] && rm -rf "$env_run"
  return 0
}
