#!/usr/bin/env bash
# Tries the Debian package as a user of a fresh Debian 12 would: in a chroot made with
# debootstrap from Debian's mirror (kept in CHROOT, made when missing), installs it with
# `apt install ./tolvane_*.deb`, runs `tolvane --version`, opens the window under Xvfb and
# checks its title and icon, then purges it and lists what is left behind (nothing expected).
# Needs root, debootstrap and the network; the chroot's mounts live in a private mount
# namespace and go with it.
# Usage: scripts/check-package.sh PACKAGE.deb
set -euo pipefail
deb=$(readlink -f "$1")
chroot_dir=${CHROOT:-/var/tmp/tolvane-bookworm}
mirror=${MIRROR:-http://deb.debian.org/debian}

if [ ! -x "$chroot_dir/usr/bin/apt-get" ]; then
    debootstrap --variant=minbase bookworm "$chroot_dir" "$mirror"
fi
cp /etc/resolv.conf "$chroot_dir/etc/resolv.conf"
cp "$deb" "$chroot_dir/tmp/"
name=$(basename "$deb")

# What runs inside, echoed command by command as a session.
cat >"$chroot_dir/tmp/session.sh" <<SESSION
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8
set -x
apt-get update -qq
# The window check's own tools, before the "before" listing.
apt-get install -y -qq --no-install-recommends xvfb x11-utils xdotool >/dev/null
snapshot() {
    find / -xdev \\( -path /proc -o -path /sys -o -path /dev -o -path /tmp -o -path /run \\
        -o -path /var/lib/apt -o -path /var/cache -o -path /var/lib/dpkg -o -path /var/log \\
        -o -path /root \\) -prune -o -print | sort
}
snapshot >/tmp/before
apt install -y ./tmp/$name
dpkg -L tolvane
tolvane --version
ls -l /usr/share/man/man1/tolvane.1.gz /usr/share/bash-completion/completions/tolvane
Xvfb :7 -screen 0 1280x1024x24 -nolisten tcp >/tmp/xvfb.log 2>&1 &
xvfb=\$!
sleep 2
mkdir -p /tmp/home
HOME=/tmp/home XDG_CONFIG_HOME=/tmp/home/.config DISPLAY=:7 tolvane >/tmp/window.log 2>&1 &
window=\$!
for i in \$(seq 60); do DISPLAY=:7 xdotool search --name '^Brevorn\$' >/dev/null && break; sleep 1; done
id=\$(DISPLAY=:7 xdotool search --name '^Brevorn\$' | head -1)
DISPLAY=:7 xprop -id "\$id" WM_NAME WM_CLASS _NET_WM_PID | sed 's/^/  /'
DISPLAY=:7 xprop -id "\$id" _NET_WM_ICON | grep -o 'Icon ([0-9]* x [0-9]*)' 
kill \$window \$xvfb; wait \$window \$xvfb || true
cat /tmp/window.log
apt-get purge -y tolvane
apt-get autoremove -y --purge
snapshot >/tmp/after
set +x
# Dependencies leave their own traces (systemd's machine id, bash-completion that bash
# recommends): only the package's own are counted.
left=\$(comm -13 /tmp/before /tmp/after | grep -i -e tolvane -e miravelt || true)
echo "new files after the purge: \$(comm -13 /tmp/before /tmp/after | wc -l), of the package: \${left:-none}"
test -z "\$left"
SESSION

unshare -m sh -c '
    set -e
    mount --make-rprivate /
    mount -t proc proc "$1/proc"
    mount --rbind /sys "$1/sys"
    mount --rbind /dev "$1/dev"
    chroot "$1" bash /tmp/session.sh
' sh "$chroot_dir"
