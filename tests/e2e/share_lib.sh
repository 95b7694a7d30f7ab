# An office share on this machine, as two PCs see it: a Samba server (smbd in the
# foreground, everything in a scratch folder) and two FUSE mounts of its share through
# smbnetfs, each with its own configuration, one per "PC". Sourced after lib.sh.
#
# share_available: 0 when the packages and /dev/fuse are there; otherwise prints why.
# start_share FOLDER: starts the server and both mounts under FOLDER; sets share_dir (the
#   folder on the server's disk), pc1 and pc2 (the same folder through each mount).
# stop_share: unmounts and stops what start_share started.

share_smbd_pid=""
share_mount_pids=()
share_mounts=()

share_available() {
    local tool
    for tool in smbd smbpasswd smbnetfs fusermount3; do
        command -v "$tool" >/dev/null 2>&1 || {
            echo "manca $tool (pacchetti samba, smbclient, smbnetfs, fuse3)"
            return 1
        }
    done
    if [ ! -c /dev/fuse ] || ! : 2>/dev/null </dev/fuse; then
        echo "FUSE non disponibile (/dev/fuse)"
        return 1
    fi
    # The second computer has its own host name through a UTS namespace.
    if ! unshare --uts true 2>/dev/null; then
        echo "unshare --uts non permesso qui (il secondo computer non può avere un suo nome)"
        return 1
    fi
    return 0
}

# An address of the loopback network on which nothing listens on the SMB port yet: the
# client knows no port but 445, and two runs at once must not meet.
share_free_address() {
    /usr/bin/python3 -c '
import random, socket
for _ in range(50):
    address = "127.%d.%d.%d" % (random.randint(1, 254), random.randint(0, 255), random.randint(1, 254))
    probe = socket.socket()
    try:
        probe.bind((address, 445))
        print(address)
        break
    except OSError:
        pass
    finally:
        probe.close()
'
}

start_share() {
    local base=$1 address user=ufficio password=ufficio-2008 n
    mkdir -p "$base/server"/{private,lock,state,cache,pid,ncalrpc,share}
    address=$(share_free_address)
    [ -n "$address" ] || { echo "nessun indirizzo libero per il server" >&2; return 1; }
    id "$user" >/dev/null 2>&1 || useradd -M -s /usr/sbin/nologin "$user" >/dev/null 2>&1 || true
    chown "$user" "$base/server/share"
    cat >"$base/server/smb.conf" <<EOF
[global]
    server role = standalone server
    private dir = $base/server/private
    lock directory = $base/server/lock
    state directory = $base/server/state
    cache directory = $base/server/cache
    pid directory = $base/server/pid
    ncalrpc dir = $base/server/ncalrpc
    passdb backend = tdbsam:$base/server/private/passdb.tdb
    interfaces = $address/8
    bind interfaces only = yes
    disable netbios = yes
    load printers = no
    printing = bsd
    printcap name = /dev/null
    disable spoolss = yes
    log file = $base/server/smbd.log
    log level = 0
[ufficio]
    path = $base/server/share
    read only = no
    valid users = $user
    force user = $user
    create mask = 0664
    directory mask = 0775
EOF
    printf '%s\n%s\n' "$password" "$password" |
        smbpasswd -c "$base/server/smb.conf" -s -a "$user" >/dev/null
    # In a session of its own: at its end smbd signals its whole process group.
    setsid smbd -s "$base/server/smb.conf" --foreground --no-process-group >"$base/server/smbd.out" 2>&1 &
    share_smbd_pid=$!
    for _ in $(seq 100); do
        (exec 3<>"/dev/tcp/$address/445") 2>/dev/null && break
        sleep 0.1
    done
    for n in 1 2; do
        mkdir -p "$base/pc$n/home/.smb" "$base/pc$n/mnt"
        printf 'auth "%s" "%s" "%s"\n' "$address" "$user" "$password" >"$base/pc$n/smbnetfs.conf"
        chmod 600 "$base/pc$n/smbnetfs.conf"
        : >"$base/pc$n/home/.smb/smbnetfs.auth"
        : >"$base/pc$n/home/.smb/smbnetfs.host"
        HOME="$base/pc$n/home" smbnetfs "$base/pc$n/mnt" -f -o "config=$base/pc$n/smbnetfs.conf" \
            >"$base/pc$n/smbnetfs.log" 2>&1 &
        share_mount_pids+=($!)
        share_mounts+=("$base/pc$n/mnt")
    done
    share_dir="$base/server/share"
    pc1="$base/pc1/mnt/$address/ufficio"
    pc2="$base/pc2/mnt/$address/ufficio"
    for _ in $(seq 100); do
        [ -d "$pc1" ] && [ -d "$pc2" ] && return 0
        sleep 0.2
    done
    echo "la cartella condivisa non compare: $pc1 $pc2" >&2
    return 1
}

stop_share() {
    local mount pid
    for mount in "${share_mounts[@]}"; do
        fusermount3 -u -z "$mount" 2>/dev/null || true
    done
    for pid in "${share_mount_pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    if [ -n "$share_smbd_pid" ]; then
        kill "$share_smbd_pid" 2>/dev/null || true
        wait "$share_smbd_pid" 2>/dev/null || true
    fi
    share_mounts=()
    share_mount_pids=()
    share_smbd_pid=""
}
