#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A stand-in for nmcli, driven by the files under $FAKE_NMCLI_DIR (see fake_nmcli.h).
#
#   running                 present: NetworkManager answers
#   help                    replaces the "connection help" text
#   hang_<command>          the command (general, show, up, down, modify, help) sleeps 30 s first
#   raw_active              printed as it is for "connection show --active"
#   profiles/<uuid>/name, type, device, state (active when present), username, setting (gsm/cdma
#     for bluetooth), up_fails, up_waits (up waits for $D/release_up), down_lingers (number of
#     listings that still show it "deactivating"; "forever" never lets it go)
#
# Every call appends its arguments to calls.log (separated by \037, one call per line); a
# passwd-file's modes and content go to passwd.log.

D=${FAKE_NMCLI_DIR:?}
printf '%s\037' "$@" >> "$D/calls.log"
printf '\n' >> "$D/calls.log"

esc() {
  local s=${1//\\/\\\\}
  printf '%s' "${s//:/\\:}"
}

# Global options, then the object and its command.
while [[ $# -gt 0 && $1 == -* ]]; do
  case $1 in
    -f | -w | -e | --fields | --wait | --escape) shift 2 ;;
    *) shift ;;
  esac
done
object=${1:-}
command=${2:-}
[[ $# -gt 0 ]] && shift
[[ $# -gt 0 ]] && shift

key=$command
[[ $object == general ]] && key=general
[[ -e $D/hang_$key ]] && sleep 30

if [[ $command == help ]]; then
  if [[ -e $D/help ]]; then
    cat "$D/help" >&2
  else
    cat >&2 <<'EOF'
Usage: nmcli connection { COMMAND | help }

  show [--active] [id | uuid | path | apath] <ID> ...
  up [[id | uuid | path] <ID>] [ifname <ifname>] [ap <BSSID>] [passwd-file <file with passwords>]
  down [id | uuid | path | apath] <ID> ...
  modify [--temporary] [id | uuid | path] <ID> ([+|-]<setting>.<property> <value>)+
EOF
  fi
  exit 0
fi

if [[ ! -e $D/running ]]; then
  echo "Error: NetworkManager is not running." >&2
  exit 8
fi

if [[ $object == general ]]; then
  echo running
  exit 0
fi

# The profile directory whose name (or uuid) is $2 after a keyword $1.
find_profile() {
  local p
  for p in "$D"/profiles/*/; do
    [[ -d $p ]] || continue
    if [[ $1 == uuid && $(basename "$p") == "$2" ]] || [[ $1 == id && $(<"$p/name") == "$2" ]]; then
      printf '%s' "${p%/}"
      return 0
    fi
  done
  return 1
}

case $command in
  show)
    if [[ ${1:-} == --active ]]; then
      if [[ -e $D/raw_active ]]; then
        cat "$D/raw_active"
        exit 0
      fi
      for p in "$D"/profiles/*/; do
        [[ -e $p/state ]] || continue
        echo "$(esc "$(<"$p/name")"):$(basename "$p"):$(<"$p/type"):$(esc "$(cat "$p/device" 2>/dev/null)"):$(<"$p/state")"
        if [[ -e $p/down_lingers && $(<"$p/state") == deactivating ]]; then
          n=$(<"$p/down_lingers")
          if [[ $n != forever ]]; then
            if ((n <= 1)); then rm -f "$p/state" "$p/down_lingers"; else echo $((n - 1)) > "$p/down_lingers"; fi
          fi
        fi
      done
      exit 0
    fi
    if ! p=$(find_profile "$1" "$2"); then
      echo "Error: $2 - no such connection profile." >&2
      exit 10
    fi
    echo "connection.id:$(<"$p/name")"
    echo "connection.uuid:$(basename "$p")"
    echo "connection.type:$(<"$p/type")"
    setting=$(<"$p/type")
    [[ -e $p/setting ]] && setting=$(<"$p/setting")
    echo "$setting.username:$(cat "$p/username" 2>/dev/null || echo --)"
    echo "$setting.password:<hidden>"
    exit 0
    ;;
  modify)
    [[ ${1:-} == --temporary ]] && shift
    if ! p=$(find_profile "$1" "$2"); then
      echo "Error: unknown connection '$2'." >&2
      exit 10
    fi
    [[ $3 == *.username ]] && printf '%s' "$4" > "$p/username"
    exit 0
    ;;
  up)
    if ! p=$(find_profile "$1" "$2"); then
      echo "Error: unknown connection '$2'." >&2
      exit 10
    fi
    if [[ ${3:-} == passwd-file ]]; then
      {
        echo "file=$(stat -c %a "$4") dir=$(stat -c %a "$(dirname "$4")")"
        cat "$4"
        echo "--"
      } >> "$D/passwd.log"
    fi
    if [[ -e $p/up_waits ]]; then
      for _ in $(seq 400); do
        [[ -e $D/release_up ]] && break
        sleep 0.05
      done
    fi
    if [[ -e $p/up_fails ]]; then
      echo "Error: Connection activation failed: (1) Unknown reason." >&2
      exit 4
    fi
    echo activated > "$p/state"
    [[ -e $p/device ]] || echo ppp0 > "$p/device"
    echo "Connection successfully activated (D-Bus active path: /org/freedesktop/NetworkManager/ActiveConnection/7)"
    exit 0
    ;;
  down)
    if ! p=$(find_profile "$1" "$2") || [[ ! -e $p/state ]]; then
      echo "Error: '$2' is not an active connection." >&2
      exit 10
    fi
    if [[ -e $p/down_lingers ]]; then
      echo deactivating > "$p/state"
    else
      rm -f "$p/state"
    fi
    echo "Connection '$(<"$p/name")' successfully deactivated."
    exit 0
    ;;
esac
echo "Error: argument '$command' not understood." >&2
exit 2
