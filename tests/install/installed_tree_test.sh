#!/usr/bin/env bash
# Checks of the installed programs, run by ctest:
#
#   installed_tree_test.sh CHECK SOURCE_DIR BUILD_DIR STAGE PREFIX
#
# STAGE is the DESTDIR of the installation (its own folder, made anew by the check "install"), PREFIX the
# installation prefix inside it. The other checks read that tree and never write into it: a check that must
# run a program that writes beside itself works on a copy.
set -euo pipefail

check=$1
source_dir=$2
build_dir=$3
stage=$4
prefix=$5
installed="$stage$prefix"
program_folder=lib/tarnix-programmer
sim="$build_dir/bin/tarnix-sim"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# A private folder for the check, removed at the end together with any program the check left running.
work=$(mktemp -d "${TMPDIR:-/tmp}/tarnix-install-test.XXXXXX")
running=()
cleanup() {
  for pid in "${running[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

# A simulated bus and a single-instance lock of the check's own.
export TARNIX_BUS=sim
export TARNIX_SIM_DIR="$work/bus"
export TARNIX_MUTEX_PREFIX="$work:"

# ---- The layout ----------------------------------------------------------------------------------------

# Every file and link below the prefix, relative to it; links as "path -> target".
installed_files() {
  (cd "$1" && find . -type f -printf '%P\n' && find . -type l -printf '%P -> %l\n') | LC_ALL=C sort
}

# What an installation holds, relative to its prefix.
expected_files() {
  echo "bin/TarnixProgrammer"
  echo "bin/TarnixProgrammer_CLI -> ../$program_folder/TarnixProgrammer_CLI"
  for file in TarnixProgrammer TarnixProgrammer_CLI STDFU.so STDFUFiles.so STDFUPRT.so libtarnix_sim.so \
              Drivers/STtube_DFU_Drivers/dpinst_x86.exe Drivers/STtube_DFU_Drivers/dpinst_amd64.exe \
              Drivers/STtube_DFU_Drivers/70-tarnix-sensors.rules; do
    echo "$program_folder/$file"
  done
  for picture in "$source_dir"/gui/images/*.png; do
    echo "$program_folder/images/${picture##*/}"
  done
  echo "lib/udev/rules.d/70-tarnix-sensors.rules"
  for schema in "$source_dir"/core/schemas/*.fbs; do
    echo "share/tarnix-programmer/schemas/${schema##*/}"
  done
  echo "share/applications/tarnix-programmer.desktop"
  echo "share/doc/tarnix-programmer/copyright"
  echo "share/man/man1/TarnixProgrammer.1.gz"
  echo "share/man/man1/TarnixProgrammer_CLI.1.gz"
  echo "share/icons/hicolor/48x48/apps/tarnix-programmer.png"
  echo "share/icons/hicolor/256x256/apps/tarnix-programmer.png"
}

# What the Debian package carries beyond an installation: the Debian changelog and lintian's overrides.
package_only_files() {
  echo "share/doc/tarnix-programmer/changelog.Debian.gz"
  echo "share/lintian/overrides/tarnix-programmer"
}

check_layout() {
  # Nothing lands outside the prefix.
  local outside
  outside=$(cd "$stage" && find . ! -type d | grep -v "^\.$prefix/" || true)
  [ -z "$outside" ] || fail "installed outside the prefix: $outside"

  diff -u <(expected_files | LC_ALL=C sort) <(installed_files "$installed") ||
    fail "the installed files differ from the expected layout (- expected, + installed)"

  for program in bin/TarnixProgrammer "$program_folder/TarnixProgrammer" "$program_folder/TarnixProgrammer_CLI" \
                 "$program_folder/Drivers/STtube_DFU_Drivers/dpinst_x86.exe" \
                 "$program_folder/Drivers/STtube_DFU_Drivers/dpinst_amd64.exe"; do
    [ -x "$installed/$program" ] || fail "$program is not executable"
  done

  # The programs and libraries find each other in the program folder, and nothing in the build tree.
  local binary runpath
  for binary in TarnixProgrammer TarnixProgrammer_CLI STDFU.so STDFUFiles.so STDFUPRT.so libtarnix_sim.so; do
    runpath=$(readelf -d "$installed/$program_folder/$binary" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
    [ "$runpath" = '$ORIGIN' ] || fail "$binary has the run path '$runpath' instead of \$ORIGIN"
  done

  # Every picture that the desktop application names is there.
  local named
  named=$(grep -ho '"images/[^"]*"' "$source_dir"/gui/*.cpp | tr -d '"' | sort -u)
  [ -n "$named" ] || fail "found no picture names in the desktop application's sources"
  for picture in $named; do
    [ -f "$installed/$program_folder/$picture" ] || fail "the desktop application's $picture is not installed"
  done
}

# ---- The command-line tool -----------------------------------------------------------------------------

check_cli() {
  local cli="$installed/bin/TarnixProgrammer_CLI" output
  cd "$work"

  output=$("$cli" -v) || fail "TarnixProgrammer_CLI -v failed: $output"
  [[ $output == *"Tarnix Programmer version: "* ]] || fail "unexpected version output: $output"

  check_cli_streams "$cli"

  "$sim" plug --product "Installed Sensor" --reenumerate-ms 0 --page-ms 0 >/dev/null
  output=$("$cli" -l) || fail "TarnixProgrammer_CLI -l failed: $output"
  grep -q "^1\. Installed Sensor   Firmware Version: 2\.4" <<<"$output" ||
    fail "the listing does not show the plugged sensor: $output"

  # Reading the parameters goes through the DFU libraries, which the program loads from its own folder.
  output=$("$cli" -d 1 -r "$work/parameters.json") || fail "TarnixProgrammer_CLI -r failed: $output"
  grep -q '"fingerFrequency": ' "$work/parameters.json" || fail "no parameters were read: $output"

  # The schema form with the installed schema file: the whole area read, changed, written back whole (the
  # way back for a sensor whose parameter page was lost), and then read by the plain form.
  local schema="$installed/share/tarnix-programmer/schemas/tnxp_serialization_1_1.fbs"
  [ -f "$schema" ] || fail "the parameter schema 1.1 is not installed"
  output=$("$cli" -d 1 -r "$work/area.json" "$schema") || fail "TarnixProgrammer_CLI -r with schema failed: $output"
  grep -q '"sourceCount": ' "$work/area.json" || fail "the schema form did not read the whole area: $output"
  sed 's/"fingerFrequency": [0-9]*/"fingerFrequency": 321/' "$work/area.json" >"$work/changed.json"
  output=$("$cli" -d 1 -w "$work/changed.json" "$schema") || fail "TarnixProgrammer_CLI -w with schema failed: $output"
  output=$("$cli" -d 1 -r "$work/after.json") || fail "TarnixProgrammer_CLI -r after the schema write failed: $output"
  grep -q '"fingerFrequency": 321' "$work/after.json" || fail "the schema write did not land: $(cat "$work/after.json")"
  grep -q '"peakCount": ' "$work/after.json" || fail "the schema write lost the geometry: $(cat "$work/after.json")"
}

# The streams as the installed manual page tells them: a failure that ends a command (here: no sensor) is its
# "Error: " line on standard error and an empty closing line on standard output; an argument error goes to
# standard output after the usage text, and nothing to standard error.
check_cli_streams() {
  local cli=$1 status=0
  "$cli" -d 1 -r "$work/none.json" >"$work/stdout" 2>"$work/stderr" || status=$?
  [ $status -ne 0 ] && [ "$(cat "$work/stderr")" = "Error: Could not find device." ] &&
    [ "$(cat "$work/stdout")" = "" ] ||
    fail "a read without a sensor gave $status, stdout '$(cat "$work/stdout")', stderr '$(cat "$work/stderr")'"
  status=0
  "$cli" -q >"$work/stdout" 2>"$work/stderr" || status=$?
  [ $status -ne 0 ] && [ ! -s "$work/stderr" ] && grep -qx "Error: Unknown argument: -q." "$work/stdout" ||
    fail "an unknown argument gave $status, stderr '$(cat "$work/stderr")'"
  local page
  page=$(gzip -dc "$installed/share/man/man1/TarnixProgrammer_CLI.1.gz" | tr '\n' ' ')
  [[ $page == *'is one line on standard error: "Error: " followed by its text.'* ]] ||
    fail "the manual page does not say that a failure that ends a command goes to standard error"
  [[ $page == *'Everything else the tool prints goes to standard output'* ]] ||
    fail "the manual page does not say what goes to standard output"
}

# ---- The desktop entry and its icons -------------------------------------------------------------------

# The value of a key of the desktop entry's main group.
entry_value() {
  sed -n "s/^$2=//p" "$1"
}

validate_entry() {
  local report
  report=$(desktop-file-validate "$1" 2>&1) || fail "desktop-file-validate rejects $1: $report"
  [ -z "$report" ] || fail "desktop-file-validate reports on $1: $report"
}

# Width and height of a PNG picture, from its header.
png_size() {
  local header
  header=$(od -An -tu1 -j16 -N8 "$1" | tr -s ' ' | sed 's/^ //')
  read -r w1 w2 w3 w4 h1 h2 h3 h4 <<<"$header"
  echo "$(((w1 << 24) | (w2 << 16) | (w3 << 8) | w4))x$(((h1 << 24) | (h2 << 16) | (h3 << 8) | h4))"
}

check_desktop_entry() {
  local entry="$installed/share/applications/tarnix-programmer.desktop"
  validate_entry "$entry"
  [ "$(entry_value "$entry" Exec)" = "$prefix/bin/TarnixProgrammer %f" ] ||
    fail "Exec is '$(entry_value "$entry" Exec)'"
  [ "$(entry_value "$entry" Path)" = "$prefix/$program_folder" ] || fail "Path is '$(entry_value "$entry" Path)'"
  [ -d "$stage$(entry_value "$entry" Path)/images" ] || fail "the entry's working folder holds no images/"
  [ "$(entry_value "$entry" Icon)" = tarnix-programmer ] || fail "Icon is '$(entry_value "$entry" Icon)'"
  local size
  for size in 48x48 256x256; do
    [ "$(png_size "$installed/share/icons/hicolor/$size/apps/tarnix-programmer.png")" = "$size" ] ||
      fail "the $size icon has the size $(png_size "$installed/share/icons/hicolor/$size/apps/tarnix-programmer.png")"
  done

  # A prefix with characters that the Exec key reserves: the program path is quoted and escaped, '%' doubled.
  local odd_prefix='/opt/Tarnix "100%" Tools'
  DESTDIR="$work/odd" cmake --install "$build_dir" --prefix "$odd_prefix" >"$work/odd-install.log" ||
    fail "installing into '$odd_prefix' failed: $(cat "$work/odd-install.log")"
  entry="$work/odd$odd_prefix/share/applications/tarnix-programmer.desktop"
  validate_entry "$entry"
  [ "$(entry_value "$entry" Exec)" = '"/opt/Tarnix \\"100%%\\" Tools/bin/TarnixProgrammer" %f' ] ||
    fail "Exec for '$odd_prefix' is '$(entry_value "$entry" Exec)'"
  [ "$(entry_value "$entry" Path)" = "$odd_prefix/$program_folder" ] ||
    fail "Path for '$odd_prefix' is '$(entry_value "$entry" Path)'"
}

# ---- The udev rule -------------------------------------------------------------------------------------

# udevadm_double FOLDER CALLS: an udevadm in FOLDER that notes each call's arguments as a line of CALLS.
udevadm_double() {
  mkdir -p "$1"
  printf '#!/bin/sh\necho "$*" >>"%s"\n' "$2" >"$1/udevadm"
  chmod +x "$1/udevadm"
}

# What udev accepts on a line of a rules file, checked where udevadm cannot verify the file itself: every line
# is blank, a comment, or comma-separated KEY OPERATOR "VALUE" pairs with keys that udev knows, matching keys
# compared (== or !=) and assignment-only keys assigned.
check_rule_lines() {
  local file=$1 number=0 line pair key operator
  local match_only='^(ACTION|DEVPATH|KERNEL|KERNELS|SUBSYSTEM|SUBSYSTEMS|DRIVER|DRIVERS|ATTRS\{[^}]+\}|TAGS|TEST(\{[0-7]+\})?|PROGRAM|RESULT|CONST\{(arch|virt)\})$'
  local assign_only='^(OWNER|GROUP|MODE|SECLABEL\{[^}]+\}|RUN(\{(program|builtin)\})?|LABEL|GOTO|OPTIONS)$'
  local either='^(NAME|SYMLINK|ATTR\{[^}]+\}|SYSCTL\{[^}]+\}|ENV\{[^}]+\}|TAG|IMPORT\{(program|builtin|file|db|cmdline|parent)\})$'
  local pair_pattern='^[[:space:]]*([A-Z]+(\{[^}]*\})?)[[:space:]]*(==|!=|\+=|-=|:=|=)[[:space:]]*"([^"\\]|\\.)*"[[:space:]]*(,|$)'
  while IFS= read -r line || [ -n "$line" ]; do
    number=$((number + 1))
    [[ $line =~ ^[[:space:]]*(#.*)?$ ]] && continue
    local rest=$line matches=0 assignments=0
    while [ -n "$rest" ]; do
      [[ $rest =~ $pair_pattern ]] || fail "$file:$number: not a KEY OP \"VALUE\" list at: $rest"
      pair=${BASH_REMATCH[0]}
      key=${BASH_REMATCH[1]}
      operator=${BASH_REMATCH[3]}
      if [[ $key =~ $match_only ]]; then
        [[ $operator == "==" || $operator == "!=" ]] || fail "$file:$number: $key can only be compared"
      elif [[ $key =~ $assign_only ]]; then
        [[ $operator != "==" && $operator != "!=" ]] || fail "$file:$number: $key can only be assigned"
      elif ! [[ $key =~ $either ]]; then
        fail "$file:$number: unknown key $key"
      fi
      if [[ $operator == "==" || $operator == "!=" ]]; then
        matches=$((matches + 1))
      else
        assignments=$((assignments + 1))
      fi
      rest=${rest:${#pair}}
    done
    [ "$matches" -gt 0 ] && [ "$assignments" -gt 0 ] || fail "$file:$number: a rule needs a match and an assignment"
  done <"$file"
}

check_udev_rule() {
  local rule="$installed/lib/udev/rules.d/70-tarnix-sensors.rules"
  cmp "$rule" "$source_dir/platform/drivers/70-tarnix-sensors.rules" || fail "the installed rule is not the source's"
  cmp "$rule" "$installed/$program_folder/Drivers/STtube_DFU_Drivers/70-tarnix-sensors.rules" ||
    fail "the rule beside the driver installers differs from the one for udev"
  check_rule_lines "$rule"
  if udevadm verify --help >/dev/null 2>&1; then
    udevadm verify --resolve-names=never "$rule" || fail "udevadm verify rejects the rule"
  else
    echo "udevadm verify is not available here: checked the rule's lines only"
  fi

  # The installed driver installer finds the rule beside it and installs it on the real bus (here on a
  # stand-in file-system root, as the caller).
  local installer
  for installer in dpinst_x86.exe dpinst_amd64.exe; do
    rm -rf "$work/root" "$work/udevadm-calls"
    mkdir -p "$work/root/etc/udev/rules.d"
    udevadm_double "$work/root/usr/bin" "$work/udevadm-calls"
    TARNIX_BUS=usb TARNIX_UDEV_ROOT="$work/root" "$installed/$program_folder/Drivers/STtube_DFU_Drivers/$installer" /F ||
      fail "the installed $installer failed"
    tail -n +2 "$work/root/etc/udev/rules.d/70-tarnix-sensors.rules" | cmp -s - "$rule" ||
      fail "the installed $installer did not install the rule"
    grep -qx "control --reload-rules" "$work/udevadm-calls" || fail "the installed $installer did not reload udev"
  done
  check_installer_without_simulator
}

# On the simulated bus the driver installer runs the simulator tool beside the programs, which an installation
# does not carry: it says so in words, then gives the simulated bus's own failure line, and fails.
check_installer_without_simulator() {
  local folder="$installed/$program_folder" status=0
  [ ! -e "$folder/tarnix-sim" ] || fail "the simulator tool is installed"
  env -u TARNIX_BUS "$folder/Drivers/STtube_DFU_Drivers/dpinst_x86.exe" /F /SW >"$work/sim-out" 2>"$work/sim-err" ||
    status=$?
  [ $status -eq 1 ] || fail "the installer on the simulated bus without tarnix-sim exited with $status"
  [ ! -s "$work/sim-out" ] || fail "the installer wrote to standard output: $(cat "$work/sim-out")"
  diff -u - "$work/sim-err" <<MESSAGES || fail "the installer's failure on the simulated bus (+) is not as expected (-)"
Driver installer: the simulator tool tarnix-sim is not installed beside the programs (looked for $(readlink -f "$folder")/tarnix-sim).
Driver installer: the simulated bus's DFU devices did not get the right driver.
MESSAGES
}

# ---- The desktop application's pictures ----------------------------------------------------------------

# Qt's minimal platform saves every window content that it shows as outputNNNN.png in the working folder when
# QT_DEBUG_BACKINGSTORE is set: the window as a user would see it, with no test hook in the program.
start_program() {
  local folder=$1
  shift
  (cd "$folder" && QT_QPA_PLATFORM=minimal QT_DEBUG_BACKINGSTORE=1 exec "$@") >>"$work/program.log" 2>&1 &
  running+=($!)
}

stop_program() {
  local pid=${running[-1]}
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  unset 'running[-1]'
}

latest_picture() {
  find "$1" -maxdepth 1 -name 'output*.png' | LC_ALL=C sort | tail -n 1
}

# Waits until the program in the folder has shown its window and then nothing new for three seconds; prints
# the last picture.
settled_picture() {
  local folder=$1 last="" since=$SECONDS current
  local deadline=$((SECONDS + 90))
  while [ $SECONDS -lt $deadline ]; do
    kill -0 "${running[-1]}" 2>/dev/null || fail "the program ended early: $(cat "$work/program.log")"
    current=$(latest_picture "$folder")
    if [ "$current" != "$last" ]; then
      last=$current
      since=$SECONDS
    elif [ -n "$current" ] && [ $((SECONDS - since)) -ge 3 ]; then
      echo "$current"
      return 0
    fi
    sleep 0.2
  done
  fail "the program in $folder showed no settled window in 90 s"
}

# Waits until the program in the folder shows the same as the reference picture.
wait_for_picture() {
  local folder=$1 reference=$2 current
  local deadline=$((SECONDS + 90))
  while [ $SECONDS -lt $deadline ]; do
    kill -0 "${running[-1]}" 2>/dev/null || fail "the program ended early: $(cat "$work/program.log")"
    current=$(latest_picture "$folder")
    if [ -n "$current" ] && cmp -s "$current" "$reference"; then
      return 0
    fi
    sleep 0.2
  done
  # Kept for a look: the two windows beside the stage.
  cp "$reference" "$stage.reference-window.png"
  [ -z "$current" ] || cp "$current" "$stage.installed-window.png"
  fail "the installed program never showed the window of the build tree's program; see $stage.*-window.png"
}

check_gui_pictures() {
  mkdir -p "$work/caller" "$work/reference" "$work/unprepared"
  "$sim" make-firmware --version 2.6 -o "$work/caller/firmware-2.6.hex" >/dev/null

  # The build tree's program as the build runs it, with its pictures under images/ in the working folder.
  ln -s "$build_dir/bin/images" "$work/reference/images"
  start_program "$work/reference" "$build_dir/bin/TarnixProgrammer" "$work/caller/firmware-2.6.hex"
  local reference
  reference=$(settled_picture "$work/reference")
  cp "$reference" "$work/reference.png"
  stop_program

  # The installed start script, from the caller's folder with the firmware file named relative to it, in a
  # copy of the installed tree (the pictures of the window land in the program folder).
  cp -a "$stage" "$work/installed"
  local copy="$work/installed$prefix"
  start_program "$work/caller" "$copy/bin/TarnixProgrammer" firmware-2.6.hex
  wait_for_picture "$copy/$program_folder" "$work/reference.png"
  stop_program

  # Counter-check: the installed program itself, started from a folder without pictures, looks different.
  start_program "$work/unprepared" "$copy/$program_folder/TarnixProgrammer" "$work/caller/firmware-2.6.hex"
  local unprepared
  unprepared=$(settled_picture "$work/unprepared")
  stop_program
  ! cmp -s "$unprepared" "$work/reference.png" || fail "a window without its pictures looks the same"
}

# ---- The Debian package --------------------------------------------------------------------------------

# Files and links of a package, relative to /usr, in the form of installed_files.
package_files() {
  dpkg-deb -c "$1" | awk '$1 !~ /^d/ {
      path = $6; for (i = 7; i <= NF; i++) path = path " " $i
      sub(/^\.\/usr\//, "", path); print path }' | LC_ALL=C sort
}

# Makes the Debian package of a build folder in $work/package; prints its path.
make_package() {
  cpack -G DEB --config "$1/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1 ||
    fail "cpack failed: $(cat "$work/cpack.log")"
  local packages=("$work"/package/*.deb)
  [ ${#packages[@]} -eq 1 ] && [ -f "${packages[0]}" ] || fail "cpack made no single .deb: ${packages[*]}"
  echo "${packages[0]}"
}

check_package() {
  local package
  package=$(make_package "$build_dir")

  diff -u <({ installed_files "$installed"; package_only_files; } | LC_ALL=C sort) <(package_files "$package") ||
    fail "the package's files (+) differ from the installed tree and the package-only files (-)"

  [ "$(dpkg-deb -f "$package" Package)" = tarnix-programmer ] || fail "wrong package name"
  local depends
  depends=$(dpkg-deb -f "$package" Depends)
  for library in libqt5widgets5 libqt5gui5 libqt5core5a libstdc++6 libc6; do
    [[ $depends == *"$library"* ]] || fail "the package does not depend on $library: $depends"
  done

  # Under /usr the desktop entry names /usr.
  dpkg-deb -x "$package" "$work/unpacked"
  local entry="$work/unpacked/usr/share/applications/tarnix-programmer.desktop"
  validate_entry "$entry"
  [ "$(entry_value "$entry" Exec)" = "/usr/bin/TarnixProgrammer %f" ] || fail "packaged Exec is '$(entry_value "$entry" Exec)'"
  [ "$(entry_value "$entry" Path)" = "/usr/$program_folder" ] || fail "packaged Path is '$(entry_value "$entry" Path)'"

  [[ $depends == *"pkexec | policykit-1"* ]] || fail "the package does not depend on pkexec: $depends"
  check_recommends "$package"

  # The maintainer scripts reload udev and trigger the sensors' devices only, after the install and after
  # the removal, and succeed where udev is missing or not running.
  dpkg-deb -e "$package" "$work/control"
  udevadm_double "$work/fake-udev" "$work/udevadm-calls"
  mkdir -p "$work/no-udev" "$work/failing-udev"
  printf '#!/bin/sh\necho "Failed to send reload request: No such file or directory" >&2\nexit 1\n' \
    >"$work/failing-udev/udevadm"
  chmod +x "$work/failing-udev/udevadm"
  local script action
  for script in postinst:configure postrm:remove; do
    action=${script#*:}
    script="$work/control/${script%:*}"
    [ -x "$script" ] || fail "the package has no executable ${script##*/}"
    rm -f "$work/udevadm-calls"
    PATH="$work/fake-udev:$PATH" "$script" "$action" || fail "${script##*/} $action failed"
    diff -u - <(grep -v '^trigger --action=change /sys/class/hidraw/' "$work/udevadm-calls") <<'CALLS' ||
control --reload-rules
trigger --action=change --attr-match=idVendor=3c9e --attr-match=idProduct=0101
trigger --action=change --attr-match=idVendor=0483 --attr-match=idProduct=df11
CALLS
      fail "${script##*/} $action did not tell udev as expected"
    PATH="$work/failing-udev:$PATH" "$script" "$action" || fail "${script##*/} fails when udev is not running"
    PATH="$work/no-udev" "$script" "$action" || fail "${script##*/} fails without udevadm"
  done
  rm -f "$work/udevadm-calls"
  PATH="$work/fake-udev:$PATH" "$work/control/postrm" upgrade || fail "postrm upgrade failed"
  [ ! -e "$work/udevadm-calls" ] || fail "postrm upgrade told udev although the rule stays"
  check_postinst_removes_installer_copy "$package"
}

# The relations of a package field, one a line: the alternatives of each sorted and joined by "|", without
# version constraints.
relation_groups() {
  dpkg-deb -f "$1" "$2" | tr ',' '\n' | sed 's/([^)]*)//g; s/[[:space:]]//g' |
    while IFS= read -r group; do
      [ -z "$group" ] || tr '|' '\n' <<<"$group" | LC_ALL=C sort | paste -sd '|'
    done
}

# The package recommends what the driver installer calls on: udev's udevadm, and, as one group of
# alternatives, the package of every program it can show a failure with on the desktop (the desktop
# application's Help links need xdg-open).
check_recommends() {
  local groups tool packages=()
  groups=$(relation_groups "$1" Recommends)
  while read -r _ _ tool; do
    case $tool in
      zenity | kdialog) packages+=("$tool") ;;
      xmessage) packages+=(x11-utils) ;;
      notify-send) packages+=(libnotify-bin) ;;
      *) fail "no package is known for the installer's dialog program $tool" ;;
    esac
  done < <(sed -n '/^show_dialog()/,/^}/p' "$source_dir/platform/drivers/dpinst.sh" | grep -o 'command -v [a-z-]*')
  [ ${#packages[@]} -ge 2 ] || fail "found no dialog programs in the installer"
  local wanted
  for wanted in xdg-utils udev "$(printf '%s\n' "${packages[@]}" | LC_ALL=C sort | paste -sd '|')"; do
    grep -qxF "$wanted" <<<"$groups" || fail "the package does not recommend $wanted: $(dpkg-deb -f "$1" Recommends)"
  done
}

# The installer's copy of the rule in /etc goes when the package is configured; another file there stays. The
# script's /etc is a stand-in layer of a private mount namespace, so this needs root.
check_postinst_removes_installer_copy() {
  if [ "$(id -u)" -ne 0 ] || ! unshare --mount --propagation private true 2>/dev/null; then
    echo "not root or no mount namespace: postinst's removal of the installer's copy not checked"
    return 0
  fi
  local marker copy=/etc/udev/rules.d/70-tarnix-sensors.rules
  marker=$(sed -n 's/^marker="\(.*\)"$/\1/p' "$source_dir/platform/drivers/dpinst.sh")
  [ -n "$marker" ] || fail "found no marker line in the installer"
  mkdir -p "$work/etc-upper/udev/rules.d" "$work/etc-work"
  unshare --mount --propagation private bash -c '
    set -e
    mount -t overlay overlay -o "lowerdir=/etc,upperdir=$1/etc-upper,workdir=$1/etc-work" /etc
    { echo "$2"; cat "$3"; } >"$4"
    PATH="$1/failing-udev:/usr/bin:/bin" "$1/control/postinst" configure
    [ ! -e "$4" ] || { echo "the installer copy stayed"; exit 1; }
    echo "# an administrator'"'"'s own rule" >"$4"
    PATH="$1/failing-udev:/usr/bin:/bin" "$1/control/postinst" configure
    [ -e "$4" ] || { echo "an administrator'"'"'s own rule was removed"; exit 1; }
  ' check "$work" "$marker" "$source_dir/platform/drivers/70-tarnix-sensors.rules" "$copy" ||
    fail "postinst did not remove exactly the installer's copy"
}

# ---- The window and its desktop entry ------------------------------------------------------------------

# Starts an X server of the check's own and points DISPLAY at it.
start_x_server() {
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
  running+=($!)
  local deadline=$((SECONDS + 30))
  until [ -s "$work/display" ]; do
    [ $SECONDS -lt $deadline ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
    sleep 0.1
  done
  export DISPLAY=":$(head -n 1 "$work/display")"
}

# The class of each shown top-level window (the second string of its WM_CLASS), one line each. A window that
# goes away while it is looked at is passed over.
shown_window_classes() {
  local window
  for window in $(xwininfo -root -children 2>/dev/null | awk '$1 ~ /^0x/ { print $1 }'); do
    xwininfo -id "$window" 2>/dev/null | grep -q "Map State: IsViewable" || continue
    xprop -id "$window" WM_CLASS 2>/dev/null | sed -n 's/^WM_CLASS(STRING) = ".*", "\(.*\)"$/\1/p' || true
  done
}

# Docks and task bars group a window under the desktop entry whose StartupWMClass is the window's class.
check_window_class() {
  local entry="$installed/share/applications/tarnix-programmer.desktop" wanted classes=""
  wanted=$(entry_value "$entry" StartupWMClass)
  [ -n "$wanted" ] || fail "the desktop entry names no StartupWMClass"
  start_x_server
  (cd "$work" && QT_QPA_PLATFORM=xcb exec "$installed/bin/TarnixProgrammer") >>"$work/program.log" 2>&1 &
  running+=($!)
  local deadline=$((SECONDS + 60))
  until [ -n "$classes" ]; do
    kill -0 "${running[-1]}" 2>/dev/null || fail "the program ended early: $(cat "$work/program.log")"
    [ $SECONDS -lt $deadline ] || fail "the program showed no window in 60 s"
    sleep 0.2
    classes=$(shown_window_classes)
  done
  [ "$classes" = "$wanted" ] || fail "the window's class is $classes, the desktop entry's StartupWMClass $wanted"
}

# ---- The Debian package of a release build -------------------------------------------------------------

# Every ELF file below a folder.
elf_files() {
  find "$1" -type f -exec sh -c 'head -c 4 "$1" | grep -q "ELF"' sh {} \; -print | LC_ALL=C sort
}

# The hardening of a Debian build in each program and library: read-only relocations bound at start-up,
# position-independent programs, the stack protector, and fortified libc calls in the programs.
check_hardening() {
  local file name headers symbols
  for file in $(elf_files "$1"); do
    name=${file#"$1"/}
    headers=$(readelf -lW "$file")
    symbols=$(readelf --dyn-syms -W "$file")
    grep -q GNU_RELRO <<<"$headers" || fail "$name has no read-only relocations"
    readelf -dW "$file" | grep -Eq "\(FLAGS\).*BIND_NOW|\(FLAGS_1\).*NOW" || fail "$name does not bind at start-up"
    if readelf -SW "$file" | grep -q "\.symtab"; then fail "$name is not stripped"; fi
    grep -q "__stack_chk_fail" <<<"$symbols" || fail "$name has no stack protector"
    case $name in
      *.so) ;;
      *)
        readelf -hW "$file" | grep -q "Type: *DYN" || fail "$name is no position-independent executable"
        grep -Eq "__[a-z0-9_]+_chk@" <<<"$symbols" || fail "$name calls no fortified libc function"
        ;;
    esac
  done
}

# A release build as the README makes it, in a folder of its own that later runs build on, configured where
# nothing but what the installed programs need can be found: Google Test and Google Benchmark are switched
# off, and pkg-config knows libudev alone (no umockdev). Its package passes lintian without an error or a
# warning.
check_release_package() {
  local release="$build_dir/release-package"
  mkdir -p "$release/pkg-config"
  ln -sf "$(pkg-config --variable=pcfiledir libudev)/libudev.pc" "$release/pkg-config/libudev.pc"
  PKG_CONFIG_LIBDIR="$release/pkg-config" PKG_CONFIG_PATH="" \
    cmake -S "$source_dir" -B "$release/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARNIX_BUILD_TESTS=OFF \
      -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON >"$work/configure.log" 2>&1 ||
    fail "configuring the release build failed: $(cat "$work/configure.log")"
  cmake --build "$release/build" -j 4 >"$work/build.log" 2>&1 || fail "the release build failed: $(tail -n 30 "$work/build.log")"
  # usb-run, a tool of the tests, is not in this build, and tarnix-sim says so.
  local answer status=0
  answer=$("$release/build/bin/tarnix-sim" usb-run -- true 2>&1) || status=$?
  [ $status -eq 125 ] && [[ $answer == *"usb-run is not part of this build"* ]] ||
    fail "tarnix-sim usb-run in a build without the tests answered $status: $answer"

  local package
  package=$(make_package "$release/build")

  [[ $(dpkg-deb -f "$package" Recommends) == *xdg-utils* ]] || fail "the package does not recommend xdg-utils"
  dpkg-deb -x "$package" "$work/unpacked"
  check_hardening "$work/unpacked"

  local report
  report=$(lintian --fail-on error,warning "$package" 2>&1) || fail "lintian reports on the package: $report"
  echo "lintian: ${report:-no tags}"
}

# ---- Dispatch ------------------------------------------------------------------------------------------

case $check in
  install)
    rm -rf "$stage"
    DESTDIR="$stage" cmake --install "$build_dir" --prefix "$prefix" >"$work/install.log" ||
      fail "cmake --install failed: $(cat "$work/install.log")"
    ;;
  layout) check_layout ;;
  cli) check_cli ;;
  desktop-entry) check_desktop_entry ;;
  udev-rule) check_udev_rule ;;
  gui-pictures) check_gui_pictures ;;
  package) check_package ;;
  window-class) check_window_class ;;
  release-package) check_release_package ;;
  *) fail "unknown check $check" ;;
esac
echo "PASS: $check"
