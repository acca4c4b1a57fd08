#!/usr/bin/env bash
# Checks of the driver installer on the real bus (the build tree's dpinst_x86.exe), run by ctest:
#
#   driver_installer_test.sh CHECK BUILD_DIR
#
#   udev-root   the install on a stand-in file-system root (TARNIX_UDEV_ROOT): what is written, what is
#               triggered, a rule already in place, a planted link, udevadm missing or failing
#   reports     how a failure reaches the user: standard error, and a dialog without /SW
#   pkexec      a user's run: what is handed to pkexec, and pkexec missing, cancelled or refused
#   elevated    the elevated entry as pkexec's root runs it, and root's own run, in a mount namespace whose
#               /etc, /usr/bin and udev's rule folders carry stand-ins: nothing of the caller's runs as root,
#               no link is followed, and the folders made for the rule are root's whatever the caller's umask
#
# The checks that meet another user or root's system folders need root; without it they are skipped (77).
set -euo pipefail

check=$1
build_dir=$2
drivers="$build_dir/bin/Drivers/STtube_DFU_Drivers"
installer="$drivers/dpinst_x86.exe"
shipped="$drivers/70-tarnix-sensors.rules"
rule=70-tarnix-sensors.rules
skipped=77

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

work=$(mktemp -d "${TMPDIR:-/tmp}/tarnix-installer-test.XXXXXX")
chmod 755 "$work"
trap 'rm -rf "$work"' EXIT
export TARNIX_BUS=usb
unset TARNIX_SIM_DIR TARNIX_UDEV_ROOT TARNIX_PKEXEC

# recorder FILE LOG [EXIT]: a program that notes its user id and arguments as a line of LOG, then exits EXIT.
recorder() {
  printf '#!/bin/sh\necho "$(id -u) $*" >>"%s"\nexit %s\n' "$2" "${3:-0}" >"$1"
  chmod 755 "$1"
}

# A stand-in file-system root with udev's folders and a recording udevadm.
make_root() {
  mkdir -p "$1/etc/udev/rules.d" "$1/usr/lib/udev/rules.d" "$1/usr/bin"
  recorder "$1/usr/bin/udevadm" "$1/udevadm.log"
}

# The installer's copy: its comment line, then the shipped rule.
installer_copy() {
  head -n 1 "$installer" >/dev/null  # the installer is there
  { sed -n 's/^marker="\(.*\)"$/\1/p' "$installer"; cat "$shipped"; }
}

expected_udevadm_calls() {
  echo "$1 control --reload-rules"
  echo "$1 trigger --action=change --attr-match=idVendor=3c9e --attr-match=idProduct=0101"
  echo "$1 trigger --action=change --attr-match=idVendor=0483 --attr-match=idProduct=df11"
}

run_installer() {
  "$installer" "$@" >"$work/out" 2>"$work/err"
}

# ---- The install on a stand-in root --------------------------------------------------------------------

check_udev_root() {
  local root="$work/fresh" uid
  uid=$(id -u)
  make_root "$root"
  TARNIX_UDEV_ROOT=$root run_installer /F /SW /SA || fail "the install failed: $(cat "$work/err")"
  [ ! -s "$work/out" ] && [ ! -s "$work/err" ] || fail "a successful install said: $(cat "$work/out" "$work/err")"
  installer_copy | cmp -s - "$root/etc/udev/rules.d/$rule" || fail "the rule was not installed as the installer's copy"
  [ "$(stat -c %a "$root/etc/udev/rules.d/$rule")" = 644 ] || fail "the rule is not readable by all"
  [ -z "$(find "$root/etc/udev/rules.d" -name ".$rule.*")" ] || fail "a temporary file was left behind"
  diff -u <(expected_udevadm_calls "$uid") "$root/udevadm.log" || fail "udevadm was not called as expected"

  # The same rule in any of udev's folders, or the installer's own earlier copy: nothing is written.
  local folder
  for folder in usr/lib/udev/rules.d lib/udev/rules.d run/udev/rules.d etc/udev/rules.d; do
    root="$work/present-${folder//\//-}"
    make_root "$root"
    mkdir -p "$root/$folder"
    cp "$shipped" "$root/$folder/$rule"
    TARNIX_UDEV_ROOT=$root run_installer /SW || fail "the install with the rule in $folder failed: $(cat "$work/err")"
    cmp -s "$shipped" "$root/$folder/$rule" || fail "the rule in $folder was changed"
    [ "$folder" = etc/udev/rules.d ] || [ ! -e "$root/etc/udev/rules.d/$rule" ] ||
      fail "a copy was made although the rule is in $folder"
    diff -u <(expected_udevadm_calls "$uid") "$root/udevadm.log" || fail "udev was not told with the rule in $folder"
  done
  root="$work/earlier-copy"
  make_root "$root"
  installer_copy >"$root/etc/udev/rules.d/$rule"
  touch -d 2000-01-01 "$root/etc/udev/rules.d/$rule"
  TARNIX_UDEV_ROOT=$root run_installer /SW || fail "the install over its earlier copy failed"
  [ "$(stat -c %Y "$root/etc/udev/rules.d/$rule")" = "$(date -d 2000-01-01 +%s)" ] || fail "the earlier copy was rewritten"

  # Another rule of the same name (an older package): the installer's copy goes into /etc.
  root="$work/older-package"
  make_root "$root"
  echo '# an older rule' >"$root/usr/lib/udev/rules.d/$rule"
  TARNIX_UDEV_ROOT=$root run_installer /SW || fail "the install beside an older rule failed"
  installer_copy | cmp -s - "$root/etc/udev/rules.d/$rule" || fail "no copy was made beside an older rule"

  # A link planted at the rule's name is replaced, its target left alone.
  root="$work/planted"
  make_root "$root"
  echo "victim" >"$work/victim"
  ln -s "$work/victim" "$root/etc/udev/rules.d/$rule"
  TARNIX_UDEV_ROOT=$root run_installer /SW || fail "the install over a link failed"
  [ "$(cat "$work/victim")" = victim ] || fail "the link's target was written"
  [ ! -L "$root/etc/udev/rules.d/$rule" ] || fail "the link is still there"
  installer_copy | cmp -s - "$root/etc/udev/rules.d/$rule" || fail "the rule was not installed over the link"

  # udevadm missing, or failing at the reload or the trigger: a failure, told on standard error.
  root="$work/no-udevadm"
  make_root "$root"
  rm "$root/usr/bin/udevadm"
  ! TARNIX_UDEV_ROOT=$root run_installer /SW || fail "the install succeeded without udevadm"
  grep -q "udevadm was found neither at $root/usr/bin/udevadm nor at $root/bin/udevadm" "$work/err" ||
    fail "missing udevadm not told: $(cat "$work/err")"
  grep -q "Driver installer: the DFU driver (the udev rule $rule) was not installed." "$work/err" ||
    fail "the failure's last line is missing: $(cat "$work/err")"
  local step
  for step in control trigger; do
    root="$work/failing-$step"
    make_root "$root"
    printf '#!/bin/sh\n[ "$1" != %s ] || { echo "udevadm: %s refused" >&2; exit 1; }\n' "$step" "$step" \
      >"$root/usr/bin/udevadm"
    ! TARNIX_UDEV_ROOT=$root run_installer /SW || fail "the install succeeded with a failing udevadm $step"
    grep -q "udevadm: $step refused" "$work/err" || fail "udevadm's own message was not passed on"
    grep -q "was not installed" "$work/err" || fail "the failing $step was not told: $(cat "$work/err")"
  done
}

# ---- How failures reach the user -----------------------------------------------------------------------

check_reports() {
  local root="$work/failing" tools="$work/tools"
  make_root "$root"
  printf '#!/bin/sh\nexit 3\n' >"$root/usr/bin/udevadm"
  mkdir -p "$tools"
  recorder "$tools/zenity" "$work/dialogs"

  # Started from the desktop (no /SW): the failure in a dialog and on standard error.
  ! DISPLAY=:9 PATH="$tools:$PATH" TARNIX_UDEV_ROOT=$root run_installer /F || fail "the failing install succeeded"
  grep -q -- "--error" "$work/dialogs" || fail "no error dialog was shown"
  grep -q "udevadm could not reload udev's rules" "$work/dialogs" || fail "the dialog lacks the cause: $(cat "$work/dialogs")"
  grep -q "was not installed" "$work/dialogs" || fail "the dialog lacks the outcome: $(cat "$work/dialogs")"
  grep -q "was not installed" "$work/err" || fail "the failure is not on standard error"

  # No display: standard error only. With /SW (the command-line tool): never a dialog.
  rm -f "$work/dialogs"
  ! env -u DISPLAY -u WAYLAND_DISPLAY PATH="$tools:$PATH" TARNIX_UDEV_ROOT=$root "$installer" /F 2>"$work/err" ||
    fail "the failing install succeeded"
  ! DISPLAY=:9 PATH="$tools:$PATH" TARNIX_UDEV_ROOT=$root run_installer /F /SW /SA || fail "the failing install succeeded"
  [ ! -e "$work/dialogs" ] || fail "a dialog was shown without a display or with /SW: $(cat "$work/dialogs")"
  grep -q "Driver installer: udevadm could not reload udev's rules." "$work/err" || fail "/SW told nothing: $(cat "$work/err")"

  # A successful install shows nothing.
  root="$work/working"
  make_root "$root"
  DISPLAY=:9 PATH="$tools:$PATH" TARNIX_UDEV_ROOT=$root run_installer /F || fail "the install failed"
  [ ! -e "$work/dialogs" ] || fail "a successful install showed a dialog"
}

# ---- A user's run through pkexec -----------------------------------------------------------------------

# Runs the installer as the unprivileged account 65534 (output in $work/out and $work/err).
as_other_user() {
  (cd "$work" && setpriv --reuid=65534 --regid=65534 --clear-groups "$@") >"$work/out" 2>"$work/err"
}

can_switch_users() {
  [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null
}

# A place for the other user's doubles and logs: its own, writable.
user_folder() {
  mkdir -p "$work/user"
  chown 65534:65534 "$work/user"
}

check_pkexec() {
  can_switch_users || { echo "SKIP: needs root to run the installer as another user"; exit $skipped; }
  user_folder
  local user="$work/user"

  # What pkexec gets is the installer's elevated entry, whatever the caller's environment and arguments.
  setpriv --reuid=65534 --regid=65534 --clear-groups sh -c "
    printf '#!/bin/sh\nid -u >>\"%s\"\n' '$user/ran' >'$user/evil' && chmod 755 '$user/evil' &&
    cp '$user/evil' '$user/udevadm' && mkdir -p '$user/rules.d'"
  recorder "$user/pkexec" "$user/pkexec.log"
  chown 65534 "$user/pkexec"
  as_other_user env TARNIX_PKEXEC="$user/pkexec" TARNIX_UDEV_RULES_DIR="$user/rules.d" TARNIX_UDEVADM="$user/evil" \
    PATH="$user:$PATH" "$installer" --rules-dir "$user/rules.d" --udevadm "$user/evil" /F /SW ||
    fail "the installer failed with a consenting pkexec: $(cat "$work/err")"
  [ "$(cat "$user/pkexec.log")" = "65534 $installer --elevated" ] ||
    fail "pkexec was handed more than the elevated entry: $(cat "$user/pkexec.log")"
  [ ! -e "$user/ran" ] || fail "a program of the caller's ran"

  # The test root is honoured only in the caller's own run: pkexec is not asked, udevadm runs as the caller.
  rm -f "$user/pkexec.log"
  setpriv --reuid=65534 --regid=65534 --clear-groups sh -c "mkdir -p '$user/root/usr/bin' '$user/root/etc/udev/rules.d'"
  recorder "$user/root/usr/bin/udevadm" "$user/root/udevadm.log"
  chown -R 65534 "$user/root"
  as_other_user env TARNIX_PKEXEC="$user/pkexec" TARNIX_UDEV_ROOT="$user/root" "$installer" /SW ||
    fail "the caller's own install failed: $(cat "$work/err")"
  [ ! -e "$user/pkexec.log" ] || fail "pkexec was asked for a test root's install"
  diff -u <(expected_udevadm_calls 65534) "$user/root/udevadm.log" || fail "the test root's udevadm did not run as the caller"

  # pkexec missing, the prompt cancelled (126), root rights refused or no agent (127): told, and a failure.
  as_other_user env TARNIX_PKEXEC="$user/no-such-pkexec" "$installer" /F /SW &&
    fail "the installer succeeded without pkexec"
  grep -q "pkexec is not installed" "$work/err" || fail "missing pkexec not told: $(cat "$work/err")"
  grep -q "sudo TarnixProgrammer_CLI -i" "$work/err" || fail "the way out is not told: $(cat "$work/err")"
  local status expected
  for status in 126 127; do
    recorder "$user/pkexec" "$user/pkexec.log" "$status"
    case $status in
      126) expected="the request for root rights was cancelled." ;;
      127) expected="root rights were not granted" ;;
    esac
    as_other_user env TARNIX_PKEXEC="$user/pkexec" "$installer" /F /SW && fail "the installer succeeded after pkexec $status"
    grep -q "Driver installer: $expected" "$work/err" || fail "pkexec's $status not told: $(cat "$work/err")"
    grep -q "was not installed" "$work/err" || fail "the outcome after pkexec $status not told"
  done
}

# ---- The elevated entry --------------------------------------------------------------------------------

check_elevated() {
  can_switch_users || { echo "SKIP: needs root to run the installer as another user"; exit $skipped; }
  unshare --mount --propagation private true 2>/dev/null || { echo "SKIP: no mount namespace"; exit $skipped; }
  local status=0
  unshare --mount --propagation private bash "$0" elevated-inside "$build_dir" || status=$?
  exit $status
}

# Hides the machine's own rules from every rule folder the installer looks at (a package's rule in
# /usr/lib/udev/rules.d would rightly make it skip its copy): /etc/udev is hidden by the /etc layer, every
# other folder that exists gets an empty stand-in.
stand_in_rule_folders() {
  local folders folder
  folders=$(sed -n 's/^rule_folders="\(.*\)"$/\1/p' "$installer")
  [ -n "$folders" ] || fail "found no rule folders in the installer"
  for folder in $folders; do
    case $folder in
      etc/*) [ ! -e "/$folder" ] || fail "/$folder is still there under the /etc layer" ;;
      *) [ ! -d "/$folder" ] || mount -t tmpfs -o mode=755,size=1m tarnix-rules "/$folder" ;;
    esac
  done
  for folder in $folders; do
    [ ! -e "/$folder/$rule" ] || fail "/$folder/$rule shows through the stand-ins"
  done
}

# The rule as the elevated entry leaves it: a file of root's, readable by all, the installer's copy.
check_installed_rule() {
  local installed="/etc/udev/rules.d/$rule"
  [ -f "$installed" ] && [ ! -L "$installed" ] || fail "$1: the rule is not a file of its own"
  [ "$(stat -c '%u %a' "$installed")" = "0 644" ] || fail "$1: the rule is $(stat -c '%u %a' "$installed")"
  installer_copy | cmp -s - "$installed" || fail "$1: the installed rule is not the shipped one"
}

# The folders that a run made for the rule are root's and writable by root alone, whatever its caller's umask.
check_made_folders() {
  local folder
  for folder in /etc/udev /etc/udev/rules.d; do
    [ "$(stat -c '%u %a' "$folder")" = "0 755" ] || fail "$1 made $folder as $(stat -c '%u %a' "$folder")"
  done
}

# In a private mount namespace: /etc gets a writable layer without udev's folder, /usr/bin a recording udevadm
# and the other rule folders empty stand-ins, so that the fixed paths of the elevated entry land on stand-ins.
# Every run as root starts with the umask 000 (pkexec passes its caller's on).
check_elevated_inside() {
  mkdir -m 755 "$work/etc-upper" "$work/etc-work" "$work/bin"
  mknod "$work/etc-upper/udev" c 0 0 || { echo "SKIP: no whiteout for /etc/udev"; exit $skipped; }
  recorder "$work/bin/udevadm" "$work/udevadm.log"
  mount -t overlay overlay -o "lowerdir=/etc,upperdir=$work/etc-upper,workdir=$work/etc-work" /etc ||
    { echo "SKIP: no overlay mount"; exit $skipped; }
  mount -t overlay overlay -o "lowerdir=$work/bin:/usr/bin" /usr/bin
  stand_in_rule_folders

  # The caller's things: programs that note it when they run, a rule folder, and a file of the caller's that
  # planted links point to.
  user_folder
  local user="$work/user"
  setpriv --reuid=65534 --regid=65534 --clear-groups sh -c "
    printf '#!/bin/sh\nid -u >>\"%s\"\n' '$user/ran' >'$user/evil' && chmod 755 '$user/evil' &&
    cp '$user/evil' '$user/udevadm' && cp '$user/evil' '$user/mktemp' && cp '$user/evil' '$user/cp' &&
    mkdir -p '$user/rules.d' && echo victim >'$user/victim'"

  # What the user hands to pkexec, recorded; then run as pkexec runs it: as root, in a cleared environment,
  # with the caller's umask. The rule folder is not there yet.
  recorder "$user/pkexec" "$user/pkexec.log"
  as_other_user env TARNIX_PKEXEC="$user/pkexec" PATH="$user:$PATH" "$installer" /F /SW ||
    fail "the user's run failed: $(cat "$work/err")"
  local recorded
  recorded=$(cut -d' ' -f2- "$user/pkexec.log")
  # shellcheck disable=SC2086
  (umask 000 && exec env -i PKEXEC_UID=65534 PATH=/usr/sbin:/usr/bin:/sbin:/bin $recorded) >"$work/out" 2>"$work/err" ||
    fail "the elevated entry failed: $(cat "$work/err")"
  check_made_folders "the elevated entry"
  check_installed_rule "the elevated entry"

  # An attacker's own call of the elevated entry, with names of its choosing in arguments and environment and
  # links planted at the rule's name and at a temporary name an installer could use.
  local installed="/etc/udev/rules.d/$rule"
  rm "$installed"
  ln -s "$user/victim" "$installed"
  ln -s "$user/victim" "$installed.new"
  (umask 000 && exec env -i PKEXEC_UID=65534 PATH="$user:/usr/bin:/bin" TARNIX_UDEV_ROOT="$user" \
    TARNIX_UDEV_RULES_DIR="$user/rules.d" TARNIX_UDEVADM="$user/evil" TARNIX_BUS=sim TARNIX_SIM_DIR="$user" \
    "$installer" --elevated --rules-dir "$user/rules.d" --udevadm "$user/evil") >"$work/out" 2>"$work/err" ||
    fail "the elevated entry failed with the caller's names: $(cat "$work/err")"
  check_installed_rule "the elevated entry called with the caller's names"

  # Root's own run (sudo TarnixProgrammer_CLI -i) where the rule folder is missing again.
  rm -rf /etc/udev
  (umask 000 && exec env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin "$installer" /F /SW) >"$work/out" 2>"$work/err" ||
    fail "root's own run failed: $(cat "$work/err")"
  check_made_folders "root's own run"
  check_installed_rule "root's own run"

  ! grep -qx 0 "$user/ran" 2>/dev/null || fail "a program of the caller's ran as root $(grep -cx 0 "$user/ran") time(s)"
  [ "$(cat "$user/victim")" = victim ] || fail "a planted link was followed"
  [ -z "$(ls -A "$user/rules.d")" ] || fail "the caller's rule folder was written"
  diff -u <(expected_udevadm_calls 0; expected_udevadm_calls 0; expected_udevadm_calls 0) "$work/udevadm.log" ||
    fail "udev's own udevadm was not called as expected"

  # A rule file that another user can change is not installed by pkexec's root.
  cp -a "$drivers" "$work/drivers"
  chmod 666 "$work/drivers/$rule"
  rm "$installed"
  ! env -i PKEXEC_UID=65534 "$work/drivers/dpinst_x86.exe" --elevated 2>"$work/err" ||
    fail "a rule file writable by others was installed"
  grep -q "can be changed by users other than root" "$work/err" || fail "the refusal was not told: $(cat "$work/err")"
  [ ! -e "$installed" ] || fail "the rule was written"
}

case $check in
  udev-root) check_udev_root ;;
  reports) check_reports ;;
  pkexec) check_pkexec ;;
  elevated) check_elevated ;;
  elevated-inside) check_elevated_inside ;;
  *) fail "unknown check $check" ;;
esac
echo "PASS: $check"
