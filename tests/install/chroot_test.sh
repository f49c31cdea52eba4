#!/usr/bin/env bash
# Installs, upgrades, removes and purges the Debian packages in a throwaway Debian 12 root, as a
# school's computer would go through them:
#   1. mmdebstrap makes the root, apt installs the 1.0.2 package (/opt/selvanor/zil) there;
#   2. a school's data goes in: a bell, a line of the record, a music file; the unit is enabled;
#   3. apt upgrades to this build's package: the data must be in /var/lib/selvanor-zil, the old
#      folder kept whole in /var/backups, nothing lost, the unit still enabled, the program
#      root's alone, the data the group's, and the installed program must ring from there;
#   4. the container is booted with systemd as init: the confined system unit must ring a bell,
#      a staff member's confined user unit (lingering) must run; the network unit beside it must
#      serve the phone page, where a phone logs in from outside the ringing unit and rings a bell,
#      and join a school's schedule on a PostgreSQL server reached over TCP with TLS;
#   5. remove keeps the data; purge removes the service's own folders and the unit's links.
# The 1.0.2 package is made from commit 4c56eaa's packaging (its install rules, cpack settings
# and postinst) around this build's program file, which is not run from it; that spares a second
# compile. OLD_DEB=<file> tries a real 1.0.2 package instead; KEEP_ROOT=1 keeps the root.
# Usage (as root): tests/install/chroot_test.sh <build folder>. Exit 77: cannot run here.
set -euo pipefail

build=$(cd "$1" && pwd)
source=$(cd "$(dirname "$0")/../.." && pwd)
old_commit=4c56eaa
started=$(date +%s)

if [ "$(id -u)" -ne 0 ]; then
    echo "chroot_test: skipped: needs root (mmdebstrap, chroot)"
    exit 77
fi
if ! command -v mmdebstrap >/dev/null; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends mmdebstrap
fi

work=$(mktemp -d /tmp/selvanor-chroot.XXXXXX)
root="$work/root"
cleanup() {
    if [ -n "${KEEP_ROOT:-}" ]; then
        echo "chroot_test: the root is kept in $root"
        return
    fi
    if mountpoint -q "$root/proc" 2>/dev/null; then
        umount "$root/proc"
    fi
    rm -rf --one-file-system "$work"
}
trap cleanup EXIT

fail() {
    echo "chroot_test: FAILED: $*" >&2
    exit 1
}
step() {
    echo "chroot_test: [$(($(date +%s) - started)) s] $*"
}
in_root() {
    chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LC_ALL=C.UTF-8 \
        DEBIAN_FRONTEND=noninteractive "$@"
}
as_user() {
    local user=$1
    shift
    in_root runuser -u "$user" -- "$@"
}

step "making this build's packages"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/new" >"$work/cpack-new.log" 2>&1 ||
    fail "cpack: $(cat "$work/cpack-new.log")"
new_deb=$(ls "$work"/new/selvanor-zil_*.deb)
webpanel_deb=$(ls "$work"/new/selvanor-zil-webpanel_*.deb)

if [ -n "${OLD_DEB:-}" ]; then
    old_deb=$OLD_DEB
else
    step "making the 1.0.2 package from $old_commit's packaging"
    git -C "$source" cat-file -e "$old_commit^{commit}" 2>/dev/null ||
        fail "commit $old_commit is not in $source (a shallow clone?)"
    mkdir -p "$work/old-src"
    git -C "$source" archive "$old_commit" | tar -x -C "$work/old-src"
    cmake -S "$work/old-src" -B "$work/old-build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        >"$work/old-cmake.log" 2>&1 || fail "configuring $old_commit: $(cat "$work/old-cmake.log")"
    cmake --build "$work/old-build" --target zil_empty_database >/dev/null
    mkdir -p "$work/old-build/bin"
    cp "$build/bin/zil" "$build/bin/zil_webpanel.so" "$work/old-build/bin/"
    cpack -G DEB --config "$work/old-build/CPackConfig.cmake" -B "$work/old" \
        >"$work/cpack-old.log" 2>&1 || fail "cpack 1.0.2: $(cat "$work/cpack-old.log")"
    old_deb=$(ls "$work"/old/selvanor-zil_1.0.2_*.deb)
fi

step "making a Debian 12 root with the 1.0.2 package"
mkdir -p "$work/debs"
cp "$old_deb" "$new_deb" "$webpanel_deb" "$work/debs/"
# The package lists stay, so that apt in the root installs the packages' dependencies.
mmdebstrap --variant=apt --include=systemd,sqlite3,curl,postgresql --skip=cleanup/apt/lists \
    bookworm "$root" http://deb.debian.org/debian >"$work/mmdebstrap.log" 2>&1 ||
    fail "mmdebstrap: $(tail -30 "$work/mmdebstrap.log")"
mount -t proc proc "$root/proc"
cp /etc/resolv.conf "$root/etc/resolv.conf"
cp -r "$work/debs" "$root/debs"
in_root apt-get install -y -qq "/debs/$(basename "$old_deb")" >"$work/install-old.log" 2>&1 ||
    fail "installing 1.0.2: $(cat "$work/install-old.log")"
[ -x "$root/opt/selvanor/zil/zil" ] || fail "1.0.2 did not install /opt/selvanor/zil/zil"

step "a school's data in the 1.0.2 program folder"
in_root adduser --disabled-password --gecos "" ogretmen >/dev/null
in_root adduser --disabled-password --gecos "" ogrenci >/dev/null
in_root adduser ogretmen selvanor-zil >/dev/null
old=/opt/selvanor/zil
as_user ogretmen sqlite3 "$old/database.mdb" \
    "INSERT INTO Dersler (GunID, DersSaati, DersBaslama, Muzik, Sure)
       VALUES (1, 'Birinci ders', '08:30:00', 'zil.wav', 10);
     CREATE TABLE ZilGecmisi (KayitNo INTEGER PRIMARY KEY AUTOINCREMENT, Tarih TEXT NOT NULL,
       KayitID INTEGER, DersSaati TEXT, DersBaslama TEXT, Muzik TEXT, Sonuc TEXT NOT NULL,
       GecikmeMs INTEGER, Aciklama TEXT, YedekSes INTEGER NOT NULL DEFAULT 0, Zaman TEXT NOT NULL);
     INSERT INTO ZilGecmisi (Tarih, KayitID, DersSaati, DersBaslama, Muzik, Sonuc, GecikmeMs, Zaman)
       VALUES ('2026-12-07', 1, 'Birinci ders', '08:30:00', 'zil.wav', 'caldi', 0, '08:30:00');"
head -c 100000 /dev/urandom >"$work/zil.wav"
cp "$work/zil.wav" "$root$old/Muzikler/zil.wav"
in_root chgrp selvanor-zil "$old/Muzikler/zil.wav"
in_root systemctl enable selvanor-zil.service >/dev/null 2>&1
wants=/etc/systemd/system/multi-user.target.wants/selvanor-zil.service
[ -L "$root$wants" ] || fail "systemctl enable made no link"

step "upgrading to $(basename "$new_deb")"
in_root apt-get install -y -qq "/debs/$(basename "$new_deb")" >"$work/upgrade.log" 2>&1 ||
    fail "upgrade: $(cat "$work/upgrade.log")"
data=/var/lib/selvanor-zil
backup=/var/backups/selvanor-zil-1.0.2
query() { in_root sqlite3 "$1" "$2"; }
[ "$(query $data/database.mdb 'SELECT DersSaati FROM Dersler')" = "Birinci ders" ] ||
    fail "the bell is not in $data/database.mdb"
[ "$(query $data/database.mdb 'SELECT Tarih, Sonuc FROM ZilGecmisi')" = "2026-12-07|caldi" ] ||
    fail "the record is not in $data/database.mdb"
cmp -s "$work/zil.wav" "$root$data/Muzikler/zil.wav" || fail "the music was not moved"
[ "$(query $backup/database.mdb 'SELECT DersSaati FROM Dersler')" = "Birinci ders" ] ||
    fail "no copy of the old schedule in $backup"
cmp -s "$work/zil.wav" "$root$backup/Muzikler/zil.wav" || fail "no copy of the music in $backup"
[ ! -e "$root/opt/selvanor" ] || fail "/opt/selvanor is still there: $(ls -R "$root/opt/selvanor")"
grep -q "old folder is kept in $backup" "$work/upgrade.log" || fail "the upgrade did not say so"
[ -L "$root$wants" ] || fail "the upgrade disabled the service"
# Qt WebEngine came with 1.0.2; now nothing installed needs it until the web panel's package.
in_root apt-get autoremove -s | grep -q "^Remv libqt6webenginecore6" ||
    fail "something still needs Qt WebEngine"

step "who may write what"
[ "$(in_root stat -c '%a %U %G' $data)" = "2770 root selvanor-zil" ] ||
    fail "data folder: $(in_root stat -c '%a %U %G' $data)"
[ "$(in_root stat -c '%G' $data/database.mdb $data/Muzikler/zil.wav | sort -u)" = selvanor-zil ] ||
    fail "data files not the group's"
[ "$(in_root getent passwd selvanor-zil | cut -d: -f6)" = /var/lib/selvanor-zil-service ] ||
    fail "the service's home: $(in_root getent passwd selvanor-zil)"
writable=$(in_root find /usr/lib/selvanor-zil /usr/bin/selvanor-zil \
    /lib/systemd/system/selvanor-zil.service \( ! -user root -o -perm /022 \) ! -type l)
[ -z "$writable" ] || fail "not root's alone: $writable"
[ "$(in_root stat -c '%a %U' "$backup")" = "700 root" ] || fail "the 1.0.2 copy is not root's alone"
for target in /usr/lib/selvanor-zil/zil /usr/lib/selvanor-zil/planted "$backup/zil"; do
    if as_user ogretmen sh -c "echo x >> '$target'" 2>/dev/null; then
        fail "a staff member wrote $target"
    fi
done
as_user ogretmen cp /etc/hostname "$data/Muzikler/yeni.wav" || fail "staff cannot add music"
as_user ogretmen sqlite3 "$data/database.mdb" "UPDATE Dersler SET Sure = 12" ||
    fail "staff cannot change the schedule"
if as_user ogrenci ls "$data" >/dev/null 2>&1; then
    fail "someone outside the group reads the data folder"
fi

step "a staff member's window killed outright, then the service rings from the data folder"
mkdir -p "$root/tmp/servis-home"
in_root chown selvanor-zil "/tmp/servis-home"
# The window, as a group member with the usual umask, holds the folder until SIGKILL.
in_root runuser -u ogretmen -- sh -c "umask 022; QT_QPA_PLATFORM=offscreen HOME=/home/ogretmen \
    exec /usr/bin/selvanor-zil" >"$work/window.log" 2>&1 &
window=$!
for _ in $(seq 50); do [ -S "$root$data/zil.soket" ] && break; sleep 0.2; done
[ -S "$root$data/zil.soket" ] || fail "the window did not claim $data: $(cat "$work/window.log")"
in_root env HOME=/tmp/servis-home timeout -s TERM 15 \
    runuser -u selvanor-zil -- /usr/bin/selvanor-zil --servis >"$work/service.log" 2>&1 &
service=$!
# The window is killed once the service has said what it found, however slowly a cold root starts
# it: a fixed pause let a busy machine's service come up only after the kill.
for _ in $(seq 100); do grep -q "zillerini\|zilleri çalıyor" "$work/service.log" 2>/dev/null && break; sleep 0.2; done
pkill -KILL -f "^/usr/bin/selvanor-zil$" || fail "no window to kill"
wait "$window" 2>/dev/null || true
set +e
wait "$service"
set -e
grep -q "açık olan zil programı" "$work/service.log" ||
    fail "the service did not wait for the window: $(cat "$work/service.log") / window: $(cat "$work/window.log")"
grep -q "zilleri çalıyor: $data/" "$work/service.log" && ! grep -q "Sorgu" "$work/service.log" ||
    fail "the service did not take over $data: $(cat "$work/service.log")"
[ ! -e "$root/usr/lib/selvanor-zil/database.mdb" ] || fail "a database beside the program"

step "the confined units under systemd as init (systemd-nspawn)"
if ! command -v systemd-nspawn >/dev/null; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends systemd-container
fi
# A bell due once the container is up, with 3 s of a 200 Hz square wave as its music: a file of
# silence would be refused as such before any output is tried.
{
    printf '\x00\x20%.0s' $(seq 20)
    printf '\x00\xe0%.0s' $(seq 20)
} >"$work/period.raw"
{
    printf 'RIFF\xa4\xbb\x00\x00WAVEfmt \x10\x00\x00\x00\x01\x00\x01\x00'
    printf '\x40\x1f\x00\x00\x80\x3e\x00\x00\x02\x00\x10\x00data\x80\xbb\x00\x00'
    for _ in $(seq 600); do cat "$work/period.raw"; done
} >"$root$data/Muzikler/ton.wav"
in_root chgrp selvanor-zil "$data/Muzikler/ton.wav"
# The phone page on port 8444 with a manager PIN (a 6-digit one, as the phone asks), its hash
# made with libsodium as the program makes it.
cat >"$work/pinhash.c" <<'C'
#include <sodium.h>
#include <stdio.h>
#include <string.h>
int main(int argc, char **argv) {
    char hash[crypto_pwhash_STRBYTES];
    if (argc != 2 || sodium_init() < 0 ||
        crypto_pwhash_str(hash, argv[1], strlen(argv[1]), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        return 1;
    puts(hash);
    return 0;
}
C
cc -o "$work/pinhash" "$work/pinhash.c" -lsodium || fail "cannot build the PIN hasher"
printf '{"yonetici": "%s"}\n' "$("$work/pinhash" 482913)" >"$root$data/yetkiler.json"
printf '{"acik": true, "port": 8444}\n' >"$root$data/telefon.json"
in_root chgrp selvanor-zil "$data/yetkiler.json" "$data/telefon.json"
in_root chmod 0660 "$data/yetkiler.json" "$data/telefon.json"
# The school's server in the container, over TCP with a certificate for 127.0.0.1 that a CA of
# the test's own signed; the computer checks it (verify-full).
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Okul CA" \
    -keyout "$work/ca.key" -out "$work/ca.pem" >/dev/null 2>&1 || fail "openssl CA"
openssl req -newkey rsa:2048 -nodes -subj "/CN=127.0.0.1" -addext "subjectAltName=IP:127.0.0.1" \
    -keyout "$root/etc/postgresql/15/main/zil.key" -out "$work/server.csr" >/dev/null 2>&1 &&
    openssl x509 -req -in "$work/server.csr" -CA "$work/ca.pem" -CAkey "$work/ca.key" \
        -CAcreateserial -days 2 -copy_extensions copy \
        -out "$root/etc/postgresql/15/main/zil.pem" >/dev/null 2>&1 || fail "openssl server"
in_root chown postgres:postgres /etc/postgresql/15/main/zil.key /etc/postgresql/15/main/zil.pem
in_root chmod 0600 /etc/postgresql/15/main/zil.key
printf "ssl = on\nssl_cert_file = '/etc/postgresql/15/main/zil.pem'\nssl_key_file = '/etc/postgresql/15/main/zil.key'\n" \
    >"$root/etc/postgresql/15/main/conf.d/zil.conf"
cp "$work/ca.pem" "$root$data/ortak-ca.pem"
in_root chgrp selvanor-zil "$data/ortak-ca.pem"
due=$(date -d "+40 sec" +%H:%M:%S)
query "$data/database.mdb" "INSERT INTO Dersler (GunID, DersSaati, DersBaslama, Muzik, Sure)
    VALUES ($(($(date +%u) - 1)), 'Sistem', '$due', 'ton.wav', 2)"
# The staff member's own service too, started at boot by lingering.
in_root mkdir -p /var/lib/systemd/linger /home/ogretmen/.config/systemd/user/default.target.wants
in_root touch /var/lib/systemd/linger/ogretmen
in_root ln -sf /usr/lib/systemd/user/selvanor-zil.service \
    /home/ogretmen/.config/systemd/user/default.target.wants/selvanor-zil.service
in_root chown -R ogretmen:ogretmen /home/ogretmen/.config
cat >"$root/etc/systemd/system/zil-check.service" <<'UNIT'
[Unit]
After=selvanor-zil.service
[Service]
Type=oneshot
ExecStart=/bin/sh /root/zil-check.sh
[Install]
WantedBy=multi-user.target
UNIT
cat >"$root/root/zil-check.sh" <<'CHECK'
#!/bin/sh
data=/var/lib/selvanor-zil
for i in $(seq 90); do
    [ "$(sqlite3 $data/database.mdb "SELECT count(*) FROM ZilGecmisi WHERE DersSaati = 'Sistem'")" -gt 0 ] && break
    sleep 1
done
{
    echo "system $(systemctl show -p ActiveState --value selvanor-zil.service)" \
        "$(systemctl show -p NRestarts --value selvanor-zil.service)"
    user="runuser -u ogretmen -- env XDG_RUNTIME_DIR=/run/user/$(id -u ogretmen) systemctl --user"
    echo "user $($user show -p ActiveState --value selvanor-zil.service)" \
        "$($user show -p NRestarts --value selvanor-zil.service)"
    echo "bell $(sqlite3 $data/database.mdb "SELECT Sonuc, Aciklama FROM ZilGecmisi WHERE DersSaati = 'Sistem'")"
    # A staff member's fire alarm through the service's socket with no PIN behind it is refused
    # by the gate; nobody outside the group reaches the socket at all.
    ask() {
        runuser -u "$1" -- perl -MIO::Socket::UNIX -e '
            $s = IO::Socket::UNIX->new(Peer => "/var/lib/selvanor-zil/zil.soket") or exit 3;
            print $s "$ARGV[0]\n"; $a = <$s>; exit($a =~ /"ok":true/ ? 0 : 4)' "$2"
    }
    echo "alarm $(ask ogretmen '{"islem":"alarm","tur":0}'; echo $?)"
    echo "outsider $(ask ogrenci '{"islem":"alarm","tur":0}'; echo $?)"
    # A phone, from outside the ringing unit (which has no network at all), through the network
    # unit: the page, a login with the manager PIN, a bell rung now.
    echo "network $(systemctl show -p ActiveState --value selvanor-zil-ag.service)"
    for i in $(seq 30); do curl -sk -o /dev/null https://127.0.0.1:8444/durum && break; sleep 1; done
    echo "page $(curl -sk -o /dev/null -w '%{http_code}' https://127.0.0.1:8444/durum)"
    curl -sk -c /root/jar -o /root/login.json -w 'login %{http_code}\n' \
        -H 'Content-Type: application/json' -d '{"pin":"482913"}' https://127.0.0.1:8444/giris
    key=$(sed -n 's/.*"anahtar":"\([0-9a-f]*\)".*/\1/p' /root/login.json)
    curl -sk -b /root/jar -o /dev/null -w 'ring %{http_code}\n' -H 'Content-Type: application/json' \
        -H "X-Zil-Anahtar: $key" \
        -d '{"islem":"zil","muzik":"Programın sesleri/Öğrenci zili.wav","sure":2}' \
        https://127.0.0.1:8444/islem
    for i in $(seq 20); do
        [ "$(sqlite3 $data/database.mdb "SELECT count(*) FROM ZilGecmisi WHERE DersSaati LIKE 'Şimdi çalan zil%'")" -gt 0 ] && break
        sleep 1
    done
    echo "phone bell $(sqlite3 $data/database.mdb "SELECT DersSaati FROM ZilGecmisi WHERE DersSaati LIKE 'Şimdi çalan zil%'")"
    # The school's schedule on the server; the computer joins over TCP, then an edit arrives.
    for i in $(seq 30); do runuser -u postgres -- psql -qtAc 'SELECT 1' >/dev/null 2>&1 && break; sleep 1; done
    pg() { runuser -u postgres -- psql -qtA -v ON_ERROR_STOP=1 -d zil "$@"; }
    runuser -u postgres -- psql -qc 'CREATE DATABASE zil'
    pg -f /usr/share/selvanor-zil/ortak.sql >/dev/null 2>&1
    pg -c "INSERT INTO okul (ad) VALUES ('Selvanor Okulları');
           INSERT INTO bina (okul_id, ad) VALUES (1, 'Lise');
           SELECT zil_bilgisayar_ekle('lise_pc', 'uzun-parola-9', 1, 1, false);
           INSERT INTO zil (okul_id, gun_id, ders_saati, baslama, muzik, sure)
               VALUES (1, 1, 'Birinci ders', '08:30:00', 'zil.wav', 12);" >/dev/null
    printf '{"acik": true, "sunucu": "127.0.0.1", "port": 5432, "veritabani": "zil", "kullanici": "lise_pc", "parola": "uzun-parola-9", "ca": "%s/ortak-ca.pem"}\n' "$data" >$data/ortak.json
    chown selvanor-zil:selvanor-zil $data/ortak.json
    chmod 0660 $data/ortak.json
    for i in $(seq 60); do
        [ "$(sqlite3 $data/database.mdb "SELECT count(*) FROM Dersler WHERE DersSaati = 'Sistem'")" = 0 ] && break
        sleep 1
    done
    pg -c "INSERT INTO zil (okul_id, gun_id, ders_saati, baslama, muzik, sure)
           VALUES (1, 2, 'Ortak ders', '10:00:00', 'zil.wav', 5)" >/dev/null
    edited=$(date +%s%N)
    arrived=none
    for i in $(seq 300); do
        if [ "$(sqlite3 $data/database.mdb "SELECT count(*) FROM Dersler WHERE DersSaati = 'Ortak ders'")" = 1 ]; then
            arrived=$((($(date +%s%N) - edited) / 1000000))
            break
        fi
        sleep 0.1
    done
    echo "shared edit ms $arrived"
    echo "shared password in ortak.json $(grep -c parola $data/ortak.json)"
    journalctl --no-pager -o cat _COMM=zil
} >/root/zil-check.txt 2>&1
systemctl poweroff
CHECK
in_root systemctl enable zil-check.service >/dev/null 2>&1
umount "$root/proc"
timeout 240 systemd-nspawn -q -D "$root" --register=no --keep-unit -b >"$work/boot.log" 2>&1 ||
    fail "systemd-nspawn: $(tail -20 "$work/boot.log")"
mount -t proc proc "$root/proc"
check=$(cat "$root/root/zil-check.txt" 2>/dev/null) || fail "no check ran: $(tail -20 "$work/boot.log")"
grep -qx "system active 0" <<<"$check" || fail "the system unit did not run: $check"
grep -qx "user active 0" <<<"$check" || fail "the user unit did not run: $check"
# The container has no sound card and no sound server: the bell is failed, never rung.
grep -qx "bell basarisiz|ses çıkışı yok.*" <<<"$check" ||
    fail "the bell without a sound output was not recorded as failed: $check"
grep -qx "alarm 4" <<<"$check" || fail "a staff member's alarm without a PIN was not refused: $check"
grep -qx "outsider 3" <<<"$check" || fail "someone outside the group reached the socket: $check"
grep -qx "network active" <<<"$check" || fail "the network unit did not run: $check"
grep -qx "page 200" <<<"$check" && grep -qx "login 200" <<<"$check" &&
    grep -qx "ring 202" <<<"$check" || fail "the phone page did not work from the units: $check"
# The page listens on both families: a v4 phone may show as ::ffff:127.0.0.1.
grep -Eq "^phone bell Şimdi çalan zil \(telefondan: Yönetici, (::ffff:)?127\.0\.0\.1\)" <<<"$check" ||
    fail "the phone's bell is not in the record: $check"
grep -Eq "Soketten giriş \((::ffff:)?127\.0\.0\.1\): giris, Yönetici" <<<"$check" ||
    fail "the ringing service did not log the phone's login: $check"
grep -Eq "^shared edit ms [0-9]+$" <<<"$check" ||
    fail "the school's edit did not reach the copy through the network unit: $check"
grep -qx "shared password in ortak.json 0" <<<"$check" ||
    fail "the shared schedule's password stayed in the group's file: $check"
step "$(grep '^shared edit ms' <<<"$check"), phone: $(grep -c '^ring 202' <<<"$check") bell rung"
in_root systemctl disable zil-check.service >/dev/null 2>&1

step "the web panel's package, then a second configure"
in_root apt-get install -y -qq "/debs/$(basename "$webpanel_deb")" >"$work/webpanel.log" 2>&1 ||
    fail "webpanel: $(cat "$work/webpanel.log")"
[ -f "$root/usr/lib/selvanor-zil/zil_webpanel.so" ] || fail "no zil_webpanel.so"
in_root dpkg-reconfigure selvanor-zil >/dev/null 2>&1 || fail "dpkg-reconfigure"
[ "$(query $data/database.mdb "SELECT Sure FROM Dersler WHERE DersSaati = 'Birinci ders'")" = 12 ] || fail "reconfigure lost the schedule"

step "remove"
in_root apt-get remove -y -qq selvanor-zil selvanor-zil-webpanel >"$work/remove.log" 2>&1 ||
    fail "remove: $(cat "$work/remove.log")"
[ ! -e "$root/usr/lib/selvanor-zil" ] && [ ! -e "$root/usr/bin/selvanor-zil" ] ||
    fail "remove left the program"
[ "$(query $data/database.mdb "SELECT Sure FROM Dersler WHERE DersSaati = 'Birinci ders'")" = 12 ] ||
    fail "remove touched the schedule"

step "purge"
mkdir -p "$root/var/lib/selvanor-zil-service/.cache" "$root/var/cache/selvanor-zil-service"
in_root apt-get purge -y -qq selvanor-zil >"$work/purge.log" 2>&1 ||
    fail "purge: $(cat "$work/purge.log")"
left=$(cd "$root" && find etc/systemd var/lib/systemd -name '*selvanor*' 2>/dev/null || true)
[ -z "$left" ] || fail "purge left the unit's links: $left"
[ ! -e "$root/var/lib/selvanor-zil-service" ] && [ ! -e "$root/var/cache/selvanor-zil-service" ] ||
    fail "purge left the service's own folders"
[ "$(query $data/database.mdb "SELECT Sure FROM Dersler WHERE DersSaati = 'Birinci ders'")" = 12 ] ||
    fail "purge removed the school's data"
[ -d "$root$backup" ] || fail "purge removed the 1.0.2 copy"

step "all fine: install, upgrade from 1.0.2, remove and purge in $(($(date +%s) - started)) s"
