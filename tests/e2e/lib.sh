# Shell functions of the Wine tests and the demo: sourced, not run. They expect wine64 and
# wineserver on PATH and a display (scripts/wine-env provides both).
#
# A machine set-up is a list of seed tokens, each one of:
#   version32=V | version64=V   DisplayVersion V of the product's uninstall entry, in that view
#   launch32=T:D | launch64=T:D LaunchInstaller of the update service, type dword or sz, data D
#   app32=DIR | app64=DIR       the product's App key: ApplicationDir DIR, VideoEditLibPath
#                               DIR\RerIvor
#   file=PATH                   the stand-in program (file version 3.1.0.5190) copied to PATH
#   newer=PATH                  the stand-in at file version 3.3.0.10220 copied to PATH
#   install=NAME                the sample installation NAME (`glimra_standins list`): its files
#                               under drive_c and its registry values, each in its own view
# and helper tokens, started before the program and kept until it has exited:
#   mutex=NAME                  a process holding the named mutex NAME
#   run=PATH                    the stand-in program copied to PATH (unless there) and started
#   again                       the program itself, started once more while its first box is open
# Paths are Windows paths on drive C:, without spaces.
#
# e2e_run needs E2E_STANDINS, the host tool glimra_standins, for install= tokens. With E2E_PROBE
# set it runs e2e_plan_probe.exe in the prepared prefix before the program and prints its report
# first, each line behind "plan ".

E2E_UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\InstallShield_{8C1D4E27-5B9A-4F3E-B6D2-1A7E93C04F65}'
E2E_SERVICE_KEY='HKLM\SOFTWARE\Corvane Corporation\Lumeo Update'
E2E_APP_KEY='HKLM\Software\Corvane Corporation\Glimra\1.0\App'

# Creates a new prefix in $1 and waits until Wine has finished setting it up.
e2e_make_template() {
  rm -rf "$1"
  mkdir -p "$(dirname "$1")"
  WINEPREFIX=$1 wine64 wineboot -i >/dev/null 2>&1
  WINEPREFIX=$1 wineserver -w
  [ -f "$1/system.reg" ]
}

# Copies the template prefix $1 to $2. Wine's program and library images are hard links (nothing
# writes them); every other file is a real copy, so a case never changes the template.
e2e_copy_prefix() {
  local template=$1 prefix=$2
  rm -rf "$prefix"
  cp -al "$template" "$prefix"
  (cd "$template" && find . -type f ! -iregex '.*\.\(dll\|exe\|drv\|sys\|ocx\|cpl\|acm\|ax\|tlb\|nls\|ttf\|fon\)' -print0 |
    xargs -0 -r cp -p --parents --remove-destination -t "$prefix")
}

# Unix path of a Windows path on drive C: of the prefix $1.
e2e_unix_path() {
  local rest=${2#[Cc]:\\}
  printf '%s/drive_c/%s' "$1" "${rest//\\//}"
}

e2e_reg_add() {  # prefix view key name type data
  WINEPREFIX=$1 wine64 reg add "$3" /v "$4" /t "$5" /d "$6" "/reg:$2" /f >/dev/null
}

# Writes the sample installation $2 into the prefix $1: files through glimra_standins, registry
# values through reg.exe in the view the description names.
e2e_install_sample() {
  local prefix=$1 name=$2 view key value text listing
  [ -n "${E2E_STANDINS:-}" ] || { echo "e2e: E2E_STANDINS is not set" >&2; return 1; }
  "$E2E_STANDINS" files "$name" "$prefix/drive_c" || return 1
  listing=$("$E2E_STANDINS" registry "$name") || return 1
  while IFS=$'\t' read -r view key value text; do
    [ -n "$view" ] || continue
    e2e_reg_add "$prefix" "$view" "HKLM\\$key" "$value" REG_SZ "$text" || return 1
  done <<<"$listing"
}

# Runs the program $3 in a fresh copy $2 of the template $1 under the language $4, with the seed
# tokens $5 and the helper tokens $6 (space-separated, "-" for none); the test tools are in $7, and
# further arguments go to the program.
# Prints the runner's report; the prefix is ended and removed whatever happens.
e2e_run() {
  local template=$1 prefix=$2 program=$3 lang=$4 seeds=$5 helpers=$6 tools=$7
  shift 7
  local status=0
  # Every step checks its own result: `set -e` does not hold in a subshell whose status is tested.
  (
    trap 'WINEPREFIX=$prefix wineserver -k 2>/dev/null; rm -rf "$prefix"' EXIT
    fail() { echo "e2e: $*" >&2; exit 2; }
    e2e_copy_prefix "$template" "$prefix" || fail "cannot copy the template prefix $template"
    local e2e_dir=$prefix/drive_c/e2e
    mkdir -p "$e2e_dir" &&
      cp "$tools"/e2e_runner.exe "$tools"/e2e_hold_mutex.exe "$tools"/e2e_sleeper.exe \
        "$tools"/e2e_sleeper_new.exe "$tools"/e2e_plan_probe.exe "$program" "$e2e_dir"/ ||
      fail "cannot copy the programs"
    local token name value path args=()
    for token in $seeds; do
      [ "$token" = - ] && continue
      name=${token%%=*} value=${token#*=}
      case $name in
        version32 | version64)
          e2e_reg_add "$prefix" "${name#version}" "$E2E_UNINSTALL_KEY" DisplayVersion REG_SZ \
            "$value" ;;
        launch32 | launch64)
          local type=${value%%:*}
          e2e_reg_add "$prefix" "${name#launch}" "$E2E_SERVICE_KEY" LaunchInstaller \
            "REG_${type^^}" "${value#*:}" ;;
        app32 | app64)
          e2e_reg_add "$prefix" "${name#app}" "$E2E_APP_KEY" ApplicationDir REG_SZ "$value" &&
            e2e_reg_add "$prefix" "${name#app}" "$E2E_APP_KEY" VideoEditLibPath REG_SZ \
              "$value\\RerIvor" ;;
        file | newer)
          local stand_in=e2e_sleeper.exe
          [ "$name" = file ] || stand_in=e2e_sleeper_new.exe
          path=$(e2e_unix_path "$prefix" "$value")
          mkdir -p "$(dirname "$path")" && cp "$e2e_dir/$stand_in" "$path" ;;
        install) e2e_install_sample "$prefix" "$value" ;;
        *) fail "unknown seed $token" ;;
      esac || fail "cannot seed $token"
    done
    for token in $helpers; do
      [ "$token" = - ] && continue
      name=${token%%=*} value=${token#*=}
      case $name in
        again) args+=(--again) ;;
        mutex) args+=(--with "C:\\e2e\\e2e_hold_mutex.exe=$value") ;;
        run)
          path=$(e2e_unix_path "$prefix" "$value")
          mkdir -p "$(dirname "$path")" || fail "cannot make the folder of $value"
          [ -f "$path" ] || cp "$e2e_dir"/e2e_sleeper.exe "$path" || fail "cannot copy $value"
          args+=(--with "$value") ;;
        *) fail "unknown helper $token" ;;
      esac
    done
    if [ -n "${E2E_PROBE:-}" ]; then
      local plan
      plan=$(LANG=$lang LC_ALL=$lang WINEPREFIX=$prefix wine64 'C:\e2e\e2e_plan_probe.exe') ||
        fail "the plan probe failed"
      printf "%s\n" "$plan" | sed "s/^/plan /"
    fi
    LANG=$lang LC_ALL=$lang WINEPREFIX=$prefix \
      wine64 'C:\e2e\e2e_runner.exe' "${args[@]}" "C:\\e2e\\$(basename "$program")" "$@"
  ) || status=$?
  return $status
}

# Escapes text as the runner prints it: backslash, carriage return and line feed.
e2e_escape() {
  local s=$1
  s=${s//\\/\\\\}
  s=${s//$'\r'/\\r}
  s=${s//$'\n'/\\n}
  printf '%s' "$s"
}

# The platform's language id that Wine gives a user whose LANG is $1.
e2e_language_id() {
  case ${1%%.*} in
    en_US | C | POSIX) echo 1033 ;;
    ja_JP) echo 1041 ;;
    de_DE) echo 1031 ;;
    fr_FR) echo 1036 ;;
    pt_BR) echo 1046 ;;
    zh_TW) echo 1028 ;;
    es_ES) echo 3082 ;;
    *) echo "no language id known for LANG=$1" >&2; return 1 ;;
  esac
}

# Prints the expected plan of the file $1 (tests/e2e/plans/README.md describes the format):
# "define NAME VALUE" gives {NAME} a value for the lines after it (VALUE may use earlier names),
# "include FILE [without ID...]" expands FILE (beside $1) here, less the rows with those resource
# ids, and every other line is printed with its names replaced. Fails on an unknown name.
e2e_expected_plan() {
  declare -A e2e_plan_names=()
  _e2e_expand_plan "$1" ""
}

_e2e_expand_plan() {
  local file=$1 without=" $2 " line name value words rest
  [ -f "$file" ] || { echo "e2e: no plan file $file" >&2; return 1; }
  while IFS= read -r line || [ -n "$line" ]; do
    case $line in
      '' | '#'*) continue ;;
    esac
    for name in "${!e2e_plan_names[@]}"; do
      line=${line//"{$name}"/"${e2e_plan_names[$name]}"}
    done
    if [[ $line =~ \{[A-Za-z0-9_]+\} ]]; then
      echo "e2e: $file: no value for ${BASH_REMATCH[0]}" >&2
      return 1
    fi
    case $line in
      'define '*)
        rest=${line#define }
        name=${rest%% *} value=${rest#* }
        e2e_plan_names[$name]=$value ;;
      'include '*)
        read -r -a words <<<"${line#include }"
        [ "${#words[@]}" -eq 1 ] || [ "${words[1]}" = without ] ||
          { echo "e2e: $file: bad include: $line" >&2; return 1; }
        _e2e_expand_plan "$(dirname "$file")/${words[0]}" "${words[*]:2}" || return 1 ;;
      *)
        case $without in
          *" ${line%% *} "*) ;;
          *) printf '%s\n' "$line" ;;
        esac ;;
    esac
  done <"$file"
}
