#!/usr/bin/env bash
# Builds a small sparse disk image with a real partition table (sfdisk) and
# real file systems (mkfs.*, each made in a file of its own and copied into
# place, so no loop device is needed), then lists it with the command-line
# program.
#
#   scripts/sample_partitions.sh [ORVANE [OUT_DIR]]
set -euo pipefail
cd "$(dirname "$0")/.."
orvane=${1:-build/orvane}
out=${2:-sample}
mkdir -p "$out"
disk="$out/partitioned_disk.img"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

rm -f "$disk"
truncate -s 96M "$disk"
sfdisk -q "$disk" <<'TABLE'
label: dos
start=2048, size=16MiB, type=7
size=34MiB, type=c
size=16MiB, type=83
size=20MiB, type=5
size=8MiB, type=7
TABLE

# Places a file system made by "$@" (run on a file of SIZE) at SECTOR.
place() {
  local sector=$1 size=$2
  shift 2
  rm -f "$work/fs"
  truncate -s "$size" "$work/fs"
  "$@" "$work/fs" > /dev/null 2>&1
  dd if="$work/fs" of="$disk" bs=1M seek=$((sector * 512)) oflag=seek_bytes \
    conv=notrunc,sparse status=none
}

# Where sfdisk put partition N (logical partitions are 5 and up).
start_of() { sfdisk -d "$disk" | sed -n "s|^$disk$1 : start= *\([0-9]*\).*|\1|p"; }

place "$(start_of 1)" 16M mkfs.ntfs -F -Q -q -p "$(start_of 1)"
place "$(start_of 2)" 34M mkfs.vfat -F 32 -n SAMPLE
place "$(start_of 3)" 16M mkfs.ext4 -q -F -L sample
place "$(start_of 5)" 8M mkfs.exfat -b 4K

echo "== $disk (partition table written by sfdisk)"
sfdisk -l "$disk" | sed -n '/^Device/,$p'
echo
echo "== $orvane partitions $disk"
"$orvane" partitions "$disk"
echo
echo "== $orvane hexdump $disk --offset 446 --length 66   (the partition table)"
"$orvane" hexdump "$disk" --offset 446 --length 66
