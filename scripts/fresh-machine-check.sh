#!/usr/bin/env bash
# Tries the README's two commands as a newcomer would: on a fresh minimal Debian 12 root made with
# debootstrap (its default set plus sudo and git), in a fresh clone, first as a user with sudo and then
# as root. The run command runs under xvfb-run; a screenshot of its window is saved, then the program
# is ended. Prints each step's result and wall time. Needs root, debootstrap and about an hour on two
# cores. Not part of CI.
#
#   scripts/fresh-machine-check.sh [REPOSITORY]     (default: this script's own checkout)
#
# QUORVANTA_FRESH_DIR  where the root, the log and the screenshots go (default a new folder in /var/tmp)
# QUORVANTA_SHARED     the conformance files put beside each clone as ../shared (default ../shared)
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
repo="$(cd "${1:-$top}" && git rev-parse --show-toplevel)"
shared="$(realpath -m "${QUORVANTA_SHARED:-$repo/../shared}")"
[ "$(id -u)" -eq 0 ] || { echo "run this as root (it uses debootstrap, chroot and mount)" >&2; exit 2; }
for tool in debootstrap xvfb-run xwininfo import git; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (apt-get install debootstrap xvfb x11-utils imagemagick git)" >&2; exit 2; }
done

work="${QUORVANTA_FRESH_DIR:-$(mktemp -d /var/tmp/quorvanta-fresh.XXXXXX)}"
root="$work/root"
mkdir -p "$work"
user=newcomer
summary=()

# The Debian archive this machine uses, from its own apt sources.
mirror() {
  local uri
  uri=$(sed -n 's/^deb \(\[[^]]*\] \)\{0,1\}\([^ ]*\) bookworm .*/\2/p' /etc/apt/sources.list 2>/dev/null | head -1)
  if [ -z "$uri" ]; then
    uri=$(awk '/^URIs:/ {u=$2} /^Suites:/ && / bookworm( |$)/ {print u; exit}' \
      /etc/apt/sources.list.d/*.sources 2>/dev/null)
  fi
  echo "${uri:-http://deb.debian.org/debian}"
}
archive="$(mirror)"
security="${archive%/debian}/debian-security"

unmount_all() {
  local m
  # Deepest first; lazily, so a process still holding a mount does not stop the rest.
  for m in $(awk -v r="$root" '$2 ~ "^"r"(/|$)" {print $2}' /proc/mounts | sort -r); do
    umount -l "$m" 2>/dev/null || true
  done
}
on_exit() {
  [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null
  unmount_all
}
trap on_exit EXIT
trap 'exit 130' INT TERM HUP

# step NAME COMMAND...: runs the command, prints its result and wall time, and goes on either way.
step() {
  local name=$1 start end status
  shift
  echo "=== $name: $*"
  start=$(date +%s)
  if "$@"; then status=ok; else status="FAILED (exit $?)"; fi
  end=$(date +%s)
  local line
  line=$(printf '%-44s %-16s %4d s' "$name" "$status" $((end - start)))
  summary+=("$line")
  echo "=== $line"
}

in_root() { env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin TERM=dumb LANG=C.UTF-8 chroot "$root" "$@"; }
# as WHO COMMAND: a login shell of root or of the user with sudo, in its own clone.
as() {
  local who=$1 command=$2
  if [ "$who" = root ]; then
    in_root bash -lc "cd /root/quorvanta && $command"
  else
    in_root runuser -l "$user" -c "cd ~/quorvanta && $command"
  fi
}

make_root() {
  debootstrap --include=sudo,git bookworm "$root" "$archive" &&
    printf 'deb %s bookworm main\ndeb %s bookworm-updates main\ndeb %s bookworm-security main\n' \
      "$archive" "$archive" "$security" >"$root/etc/apt/sources.list" &&
    cp /etc/resolv.conf "$root/etc/resolv.conf"
}

mount_all() {
  mount -t proc proc "$root/proc" &&
    mount --rbind /sys "$root/sys" && mount --make-rslave "$root/sys" &&
    mount --rbind /dev "$root/dev" && mount --make-rslave "$root/dev" &&
    mkdir -p "$root/work/shared" &&
    if [ -d "$shared" ]; then
      mount --bind "$shared" "$root/work/shared" && mount -o remount,bind,ro "$root/work/shared"
    fi
}

# The project as a bare repository in the root; each account clones it as a newcomer would.
offer_project() {
  rm -rf "$root/srv/quorvanta.git"
  git init -q --bare "$root/srv/quorvanta.git" &&
    git -C "$repo" push -q "$root/srv/quorvanta.git" HEAD:refs/heads/main &&
    git -C "$root/srv/quorvanta.git" symbolic-ref HEAD refs/heads/main &&
    chmod -R a+rX "$root/srv/quorvanta.git"
}

add_user() {
  in_root useradd --create-home --shell /bin/bash --groups sudo "$user" &&
    echo "$user ALL=(ALL:ALL) NOPASSWD: ALL" >"$root/etc/sudoers.d/$user" &&
    chmod 0440 "$root/etc/sudoers.d/$user"
}

# Each clone gets the conformance files beside it as ../shared, as in the project's own checkout.
clone() {
  local who=$1
  if [ "$who" = root ]; then
    in_root bash -lc 'cd /root && git clone -q /srv/quorvanta.git quorvanta && ln -sfn /work/shared /root/shared'
  else
    # git clones only a repository of the account's own: the user gets a copy of it.
    in_root bash -c "cp -r /srv/quorvanta.git /home/$user/origin.git && chown -R $user: /home/$user/origin.git" &&
      in_root runuser -l "$user" -c 'git clone -q ~/origin.git quorvanta && ln -sfn /work/shared shared'
  fi
}

# The run command in a virtual X server of this machine (its abstract socket reaches the root); when
# the main window shows, a screenshot is saved and the program ended with SIGTERM.
run_command() {
  local who=$1 shot="$work/run-$1.png" pidfile="$root/run/quorvanta-$1.pid"
  rm -f "$pidfile"
  xvfb-run -a -s "-ac -screen 0 1280x1024x24" bash -c '
    who=$1 shot=$2 pidfile=$3 root=$4 user=$5
    if [ "$who" = root ]; then
      env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin TERM=dumb LANG=C.UTF-8 DISPLAY="$DISPLAY" chroot "$root" \
        bash -lc "cd /root/quorvanta && echo \$\$ >/run/quorvanta-root.pid && DISPLAY=$DISPLAY exec scripts/run.sh" &
    else
      chmod 1777 "$root/run"
      env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin TERM=dumb LANG=C.UTF-8 chroot "$root" runuser -l "$user" \
        -c "cd ~/quorvanta && echo \$\$ >/run/quorvanta-user.pid && DISPLAY=$DISPLAY exec scripts/run.sh" &
    fi
    started=$!
    for _ in $(seq 1 3600); do
      if xwininfo -root -tree 2>/dev/null | grep -q "\"[^\"]*Quorvanta\": ("; then
        sleep 3
        import -window root "$shot"
        kill -TERM "$(cat "$pidfile")"
        wait "$started"
        exit $?
      fi
      kill -0 "$started" 2>/dev/null || { echo "scripts/run.sh ended before its window showed" >&2; exit 1; }
      sleep 1
    done
    echo "no window after an hour" >&2
    exit 1' _ "$who" "$shot" "$pidfile" "$root" "$user" &&
    [ -s "$shot" ] && echo "screenshot: $shot"
}

echo "archive: $archive; root: $root; project: $repo ($(git -C "$repo" rev-parse --short HEAD))"
step "debootstrap (default set + sudo, git)" make_root
step "mount /proc /sys /dev, ../shared read-only" mount_all
step "offer the project as a repository" offer_project
step "add $user with sudo" add_user
# The user with sudo goes first, on the untouched root, so the set-up's sudo path is what installs.
for who in user root; do
  step "$who: git clone" clone "$who"
  step "$who: scripts/run.sh under xvfb-run" run_command "$who"
  step "$who: scripts/test.sh" as "$who" "scripts/test.sh"
done

echo
echo "=== summary ($(date -u '+%F %H:%M UTC'), $(nproc) cores)"
printf '%s\n' "${summary[@]}"
! printf '%s\n' "${summary[@]}" | grep -q FAILED
