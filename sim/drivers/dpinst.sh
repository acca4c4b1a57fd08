#!/bin/sh
# Stand-in for the DFU driver package installer. On the simulated bus, installing the bootloader driver
# means giving every DFU device that carries another driver the right one. The real installer's options
# (/q, /se, /sw, /lm ...) are accepted and ignored.
folder=$(cd "$(dirname "$0")" && pwd)
exec "$folder/../../tarnix-sim" fix-drivers
