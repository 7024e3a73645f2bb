#!/usr/bin/env bash
# Builds the test-only addition to the medium for the storage test: a second
# initramfs archive, loaded after the medium's own, with what the medium
# leaves out because the operator never needs it there -- sfdisk, mdadm, lvm2,
# e2fsprogs, the md, RAID1, device-mapper and ext4 modules of the medium's
# own kernel -- and the guest's set-up script, as /usr/local/sbin/make-storage;
# for the fault rows, the loop, dm-flakey, dm-delay, scsi_debug and traffic
# control (netem, ingress, flower, gact) modules and /usr/local/sbin/run-faults.
#   storage_addition.sh MEDIUM_DIR OUT
# It works from what scripts/medium left in MEDIUM_DIR/work: the kernel's
# modules (so they always fit the medium's kernel) and the private apt
# state with its package lists (so the packages come from the same mirror
# and release). The packages are kept in a cache of their own there; a
# second run downloads nothing.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
medium=$(cd "${1:?medium directory}" && pwd)
out=${2:?output file}
work=$medium/work
die() { echo "storage_addition: $*" >&2; exit 1; }

ver=$(cat "$work/kernel-version" 2>/dev/null) || die "no $work/kernel-version: build the medium with scripts/medium"
kmods=$work/kernel/lib/modules/$ver
mmods=$work/root/lib/modules/$ver
[ -d "$kmods" ] && [ -d "$mmods" ] && [ -d "$work/apt/state/lists" ] ||
  die "$work lacks the kernel, the medium's root or the package lists: build the medium with scripts/medium"

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
root=$stage/root
mkdir -p "$root/usr/bin" "$root/usr/sbin" "$root/usr/lib64" "$root/usr/lib/modules/$ver" "$root/usr/local/sbin"
ln -s usr/bin "$root/bin"; ln -s usr/sbin "$root/sbin"
ln -s usr/lib "$root/lib"; ln -s usr/lib64 "$root/lib64"

# The tools, with their dependencies as if onto an empty system, into a
# cache beside the medium's; of these, only what the medium lacks, and
# nothing that serves only a package's installation (udev and its users,
# account tools, perl modules).
cache=$work/test-apt
mkdir -p "$cache/archives/partial"
: >"$cache/status"
apt_opts=(-o "Dir::Etc::SourceList=/dev/null" -o "Dir::Etc::SourceParts=$work/apt/etc/sources.list.d"
          -o "Dir::Etc::Preferences=/dev/null" -o "Dir::Etc::PreferencesParts=$work/apt/etc/preferences.d"
          -o "Dir::State=$work/apt/state" -o "Dir::State::status=$cache/status" -o "Dir::Cache=$cache"
          -o "APT::Architecture=amd64" -o "APT::Install-Recommends=false" -o "Debug::NoLocking=true"
          -o "APT::Sandbox::User=root" -qq)
apt-get "${apt_opts[@]}" install -d -y fdisk mdadm lvm2 e2fsprogs mount >"$stage/apt.log" 2>&1 ||
  die "cannot download fdisk, mdadm, lvm2, e2fsprogs, mount: $(grep -m1 '^E:' "$stage/apt.log" || tail -n1 "$stage/apt.log")"
apt-get "${apt_opts[@]}" autoclean >/dev/null 2>&1 || true   # versions the mirror no longer has
skip='^(udev|usrmerge|adduser|passwd|init-system-helpers|libpam-.*|libsemanage.*|libsepol.*|lib.*-perl)$'
for deb in "$cache"/archives/*.deb; do
  name=$(basename "$deb"); name=${name%%_*}
  [[ $name =~ $skip ]] && continue
  compgen -G "$work/apt/cache/archives/${name}_*.deb" >/dev/null && continue
  only=()   # of mount, losetup alone (its direct I/O); the medium's mount stays
  [ "$name" = mount ] && only=(--wildcards '*/losetup')
  dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$root" --keep-directory-symlink --no-same-owner "${only[@]}" ||
    die "cannot unpack $deb"
done
rm -rf "$root"/usr/share/{doc,man,info,locale,lintian,bug,bash-completion,initramfs-tools} \
  "$root"/etc/{init.d,cron.*,logrotate.d,default,rc?.d} "$root"/usr/lib/systemd "$root"/lib/systemd
for tool in sfdisk mdadm lvm mkfs.ext4 losetup; do
  [ -x "$root/usr/sbin/$tool" ] || die "$tool is not in the packages"
done

# The modules with those they need, and the medium's module index made
# anew over both (the later archive's files replace the earlier's).
: >"$stage/want"
for m in drivers/md/md-mod.ko drivers/md/raid1.ko drivers/md/dm-mod.ko fs/ext4/ext4.ko crypto/crc32c_generic.ko \
         drivers/block/loop.ko drivers/md/dm-flakey.ko drivers/md/dm-delay.ko drivers/scsi/scsi_debug.ko \
         net/sched/sch_netem.ko net/sched/sch_ingress.ko net/sched/cls_flower.ko net/sched/act_gact.ko; do
  [ -e "$kmods/kernel/$m" ] || die "kernel $ver has no $m"
  echo "kernel/$m" >>"$stage/want"
done
awk -v list="$stage/want" 'BEGIN { while ((getline m < list) > 0) want[m] = 1 }
     { sub(":", "", $1); if ($1 in want) for (i = 1; i <= NF; i++) print $i }' \
  "$kmods/modules.dep" | sort -u | while read -r m; do [ -e "$mmods/$m" ] || echo "$m"; done >"$stage/want.all"
index=$stage/index
mkdir -p "$index/lib/modules"
cp -a "$mmods" "$index/lib/modules/"
(cd "$kmods" && cpio -pdm --quiet "$index/lib/modules/$ver" <"$stage/want.all")
(cd "$kmods" && cpio -pdm --quiet "$root/usr/lib/modules/$ver" <"$stage/want.all")
depmod -b "$index" "$ver" || die "depmod failed"
cp "$index/lib/modules/$ver"/modules.* "$root/usr/lib/modules/$ver/"

install -m 0755 "$here/storage_setup.sh" "$root/usr/local/sbin/make-storage"
install -m 0755 "$here/faults_guest.sh" "$root/usr/local/sbin/run-faults"

# The medium has these links already; an archive entry must not touch them.
rm "$root/bin" "$root/sbin" "$root/lib" "$root/lib64"
(cd "$root" && find . -mindepth 1 | LC_ALL=C sort | cpio -o -H newc --quiet -R 0:0) |
  zstd -q -T0 -9 >"$out.tmp" || die "cannot pack the addition"
mv -f "$out.tmp" "$out"
