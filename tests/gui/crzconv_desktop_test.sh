#!/bin/bash
# End-to-end runs of crzconv on the desktop: started with no arguments on an X
# display (run this under with_xvfb.sh), driven through real key presses with
# xdotool, windows found by their titles. There may be no window manager, so
# every window is focused explicitly before it gets keys.
#
#   crzconv_desktop_test.sh SCENARIO CRZCONV SAMPLE_V2_CATALOGUE
#
# Scenarios:
#   error    a name typed in the open dialog that names no file is refused
#            with a message and the dialog comes again; then both dialogs are
#            cancelled: the run stops with the message box, which reads
#            "Error: ...", ignores Escape, closes on Enter; exit status
#            nonzero.
#   convert  a catalogue and a new target chosen; the conversion finishes
#            with status 0, the backup equals the source, the source is
#            unchanged, the target exists.
#   replace  the target exists: the save dialog asks before replacing, the
#            answer is yes, the conversion replaces the file.
# A conversion scenario that the engine cannot carry out yet ends in the
# message box; it then answers the box and skips (status 77) with the error.
#
# SCREENSHOTS=DIR keeps a picture of each window in DIR (needs ImageMagick).
set -u
scenario="$1"
crzconv="$2"
sample="$3"
skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "FAIL: $*" >&2; [ -s "${log:-/dev/null}" ] && sed 's/^/crzconv: /' "$log" >&2; exit 1; }

[ -n "${DISPLAY:-}" ] || skip "no X display (Xvfb is not installed)"
command -v xdotool >/dev/null || skip "xdotool is not installed"

work="$(mktemp -d "${TMPDIR:-/tmp}/crzconv-desktop.XXXXXX")"
log="$work/stderr.log"
cleanup() {
  [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# Visible windows of crzconv named exactly $1, newest last. GTK keeps tiny
# helper windows without a name; they are no dialogs.
windows_named() {
  local id WIDTH HEIGHT
  for id in $(xdotool search --all --onlyvisible --pid "$pid" --name "^$1\$" 2>/dev/null); do
    eval "$(xdotool getwindowgeometry --shell "$id" 2>/dev/null | grep -E '^(WIDTH|HEIGHT)=')"
    [ "${WIDTH:-0}" -gt 8 ] && [ "${HEIGHT:-0}" -gt 8 ] && echo "$id"
    WIDTH=0 HEIGHT=0
  done
}

# Waits up to $2 seconds (default 30) for a window named $1; prints its id.
wait_window() {
  local title="$1" seconds="${2:-30}" id
  for _ in $(seq $((seconds * 10))); do
    id="$(windows_named "$title" | tail -n1)"
    if [ -n "$id" ]; then
      echo "$id"
      return 0
    fi
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

wait_gone() {
  local id="$1"
  for _ in $(seq 100); do
    xdotool getwindowname "$id" >/dev/null 2>&1 || return 0
    windows_named '.*' | grep -qx "$id" || return 0
    sleep 0.1
  done
  return 1
}

# Gives window $1 the keyboard focus (--sync waits for it, but would wait
# forever for a window that cannot take it).
focus() {
  timeout 5 xdotool windowfocus --sync "$1" 2>/dev/null || xdotool windowfocus "$1"
  sleep 0.3
}

# Focuses window $1 and presses the keys that follow.
keys_to() {
  local id="$1"
  shift
  focus "$id"
  xdotool key --clearmodifiers "$@"
}

type_into() {
  focus "$1"
  xdotool type --delay 15 "$2"
}

shot() {
  [ -n "${SCREENSHOTS:-}" ] && command -v import >/dev/null || return 0
  mkdir -p "$SCREENSHOTS"
  sleep 0.5
  import -window "$1" "$SCREENSHOTS/$2.png"
}

# The file chooser takes a typed path in its location field (Ctrl+L).
choose_path() {
  local id="$1" path="$2"
  keys_to "$id" ctrl+l
  keys_to "$id" ctrl+a
  type_into "$id" "$path"
  sleep 0.5
  keys_to "$id" Return
}

wait_exit() {
  for _ in $(seq 600); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$pid" 2>/dev/null && fail "crzconv did not end"
  wait "$pid"
  status=$?
  pid=""
}

# The message box: a window without a title. Answers with Escape (which
# must not close it), then Enter.
answer_message_box() {
  local box="$1"
  keys_to "$box" Escape
  sleep 0.7
  windows_named '' | grep -qx "$box" || fail "Escape closed the message box"
  keys_to "$box" Return
  wait_gone "$box" || fail "Enter did not close the message box"
}

export HOME="$work"  # the backup copy goes to $HOME/crzconv.bak
source="$work/catalogue-v2.crz"
target="$work/catalogue-v3.crz"
cp "$sample" "$source"
# An earlier catalogue in the target's place: the conversion replaces its table.
[ "$scenario" = replace ] && cp "$sample" "$target"

"$crzconv" 2>"$log" &
pid=$!

open_dialog="$(wait_window "Select File to Convert")" || fail "no open dialog"
shot "$open_dialog" open-dialog
if [ "$scenario" = error ]; then
  choose_path "$open_dialog" "$work/no such catalogue.crz"
  refusal="$(wait_window '' 10)" || fail "a missing file was accepted in the open dialog"
  answer_message_box "$refusal"
  grep -qx 'Error: File Not Found' "$log" || fail "the refusal did not read \"Error: File Not Found\""
  open_dialog="$(wait_window "Select File to Convert")" || fail "the open dialog did not come again"
  keys_to "$open_dialog" Escape
else
  choose_path "$open_dialog" "$source"
fi
wait_gone "$open_dialog" || fail "the open dialog did not close"

save_dialog="$(wait_window "Select Coverted File Name")" || fail "no save dialog"
if [ "$scenario" = error ]; then
  keys_to "$save_dialog" Escape
else
  choose_path "$save_dialog" "$target"
fi
if [ "$scenario" = replace ]; then
  # The confirmation is a second window while the chooser is still up.
  confirm=""
  for _ in $(seq 100); do
    confirm="$(windows_named '.*' | grep -vx "$save_dialog" | tail -n1)"
    [ -n "$confirm" ] && break
    sleep 0.1
  done
  [ -n "$confirm" ] || fail "no confirmation before replacing $target"
  shot "$confirm" replace-confirmation
  keys_to "$confirm" alt+r  # "Replace"
fi
wait_gone "$save_dialog" || fail "the save dialog did not close"

# The run goes on alone: it ends, or stops with the message box.
progress_seen=no
box=""
for _ in $(seq 1200); do
  kill -0 "$pid" 2>/dev/null || break
  if [ "$progress_seen" = no ] && [ -n "$(windows_named "Converting File")" ]; then
    progress_seen=yes
    shot "$(windows_named "Converting File" | tail -n1)" progress-window
  fi
  box="$(windows_named '' | tail -n1)"
  [ -n "$box" ] && break
  sleep 0.05
done

if [ "$scenario" = error ]; then
  [ -n "$box" ] || fail "no message box after both dialogs were cancelled"
  shot "$box" message-box
  answer_message_box "$box"
  wait_exit
  [ "$status" -eq 1 ] || fail "exit status $status after a reported error, not 1"
  grep -q '^Error: ' "$log" || fail "the box's text was not \"Error: ...\""
  echo "PASS: error box \"$(grep -m1 '^Error: ' "$log")\", exit status $status"
  exit 0
fi

if [ -n "$box" ]; then
  answer_message_box "$box"
  wait_exit
  message="$(grep -m1 '^Error: ' "$log")"
  [ "$status" -ne 0 ] || fail "exit status 0 after a reported error"
  # The dialogs did their part; the conversion itself is not there yet.
  skip "dialogs done; the conversion stopped with \"$message\" (status $status)"
fi
wait_exit
[ "$status" -eq 0 ] || fail "exit status $status without a message box"
# A small catalogue converts faster than this script polls, so the progress
# window may come and go unseen; the window tests cover it.
echo "progress window seen: $progress_seen"
cmp -s "$sample" "$HOME/crzconv.bak" || fail "no backup copy of the source"
cmp -s "$sample" "$source" || fail "the source was changed"
[ -s "$target" ] || fail "no converted file at $target"
cmp -s "$sample" "$target" && fail "the existing target was not replaced"
echo "PASS: $scenario"
