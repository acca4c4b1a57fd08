#!/bin/sh
# Starts the installed desktop application. The program reads its pictures from "images/" under the working
# folder, so it runs from its program folder (lib/tarnix-programmer beside this bin/ folder); an argument
# that names an existing file or folder relative to the caller's folder is made absolute first, so that a
# firmware file given as "firmware.hex" still names the caller's file.
bin_folder=$(dirname "$(readlink -f "$0")")
program_folder="$bin_folder/../lib/tarnix-programmer"

for argument do
  shift
  case $argument in
    /* | -*) ;;
    *) if [ -n "$argument" ] && [ -e "$argument" ]; then argument="$PWD/$argument"; fi ;;
  esac
  set -- "$@" "$argument"
done

cd "$program_folder" || exit 1
exec ./TarnixProgrammer "$@"
