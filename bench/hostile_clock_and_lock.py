#!/usr/bin/env python3
"""Runs the real background service (zil --servis) against two faults a school meets and prints
what the bell record says afterwards. Figures only; it never passes or fails.

  clock  the wall clock is set back 2 minutes (or --back SECONDS) just before a tick, through
         libfaketime, and put right 15 s later; bells every 4 s from 20 s after the correction.
         Prints how long SIGTERM took to end the service and each bell's outcome.
  lock   another program holds database.mdb with BEGIN EXCLUSIVE from 3 s before a bell to 7 s
         after it; a second bell 5 s after the first. Prints each bell's outcome and delay.

Usage: hostile_clock_and_lock.py ZIL_BINARY clock|lock [--back SECONDS]
Needs: libfaketime (Debian package faketime) for "clock"; a sound output the service can reach
(PULSE_SERVER pointing at a PulseAudio server with a null sink will do).
"""
import argparse
import math
import os
import shutil
import signal
import sqlite3
import struct
import subprocess
import sys
import tempfile
import time
import wave

HERE = os.path.dirname(os.path.abspath(__file__))
SCHEMA = os.path.join(HERE, "..", "resources", "schema.sql")
FAKETIME = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"


def tone(path, seconds=1.0):
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(44100)
        frames = b"".join(
            struct.pack("<h", int(8000 * math.sin(2 * math.pi * 880 * i / 44100)))
            for i in range(int(44100 * seconds)))
        w.writeframes(frames)


def folder_with(binary):
    folder = tempfile.mkdtemp(prefix="zil-hostile-")
    shutil.copy(binary, os.path.join(folder, "zil"))
    db = sqlite3.connect(os.path.join(folder, "database.mdb"))
    db.executescript(open(SCHEMA).read())
    db.close()
    os.mkdir(os.path.join(folder, "Muzikler"))
    tone(os.path.join(folder, "Muzikler", "zil.wav"))
    return folder


def add_bells(folder, starts):
    db = sqlite3.connect(os.path.join(folder, "database.mdb"))
    for i, start in enumerate(starts):
        lt = time.localtime(start)
        db.execute("INSERT INTO Dersler (GunID,DersSaati,DersBaslama,Muzik,Sure) "
                   "VALUES (?,?,?,?,?)",
                   (lt.tm_wday, "zil%d" % i, time.strftime("%H:%M:%S", lt), "zil.wav", 1))
    db.commit()
    db.close()


def record(folder):
    db = sqlite3.connect(os.path.join(folder, "database.mdb"))
    try:
        return db.execute("SELECT DersSaati, Sonuc, GecikmeMs, Aciklama FROM ZilGecmisi "
                          "ORDER BY KayitNo").fetchall()
    except sqlite3.Error as e:
        return [("record", str(e), 0, "")]
    finally:
        db.close()


def sleep_until(t):
    while True:
        left = t - time.time()
        if left <= 0:
            return
        time.sleep(min(left, 0.2) if left > 0.01 else left)


def stop(service):
    asked = time.monotonic()
    service.send_signal(signal.SIGTERM)
    try:
        service.wait(timeout=10)
        return time.monotonic() - asked
    except subprocess.TimeoutExpired:
        service.kill()
        service.wait()
        return None


def run_clock(binary, back):
    folder = folder_with(binary)
    stamp = os.path.join(folder, "faketime")
    with open(stamp, "w") as f:
        f.write("+0\n")
    base = math.floor(time.time()) + 10
    correction = base + 15
    add_bells(folder, [correction + 20 + 4 * i for i in range(8)])
    env = dict(os.environ, LD_PRELOAD=FAKETIME, FAKETIME_TIMESTAMP_FILE=stamp,
               FAKETIME_NO_CACHE="1", FAKETIME_DONT_FAKE_MONOTONIC="1")
    service = subprocess.Popen([os.path.join(folder, "zil"), "--servis"], env=env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    # The tick's timer fires about 3 ms before the second; the step lands within that wait.
    sleep_until(base - 0.0015)
    with open(stamp, "w") as f:
        f.write("-%d\n" % back)
    sleep_until(correction)
    with open(stamp, "w") as f:
        f.write("+0\n")
    sleep_until(correction + 20 + 4 * 8 + 2)
    took = stop(service)
    print("clock set back %d s, put right after 15 s: SIGTERM ended the service in %s" %
          (back, "%.2f s" % took if took is not None else "more than 10 s (killed)"))
    for line in record(folder):
        print("  %-6s %-10s %6s ms  %s" % tuple(line))
    shutil.rmtree(folder)


def run_lock(binary):
    folder = folder_with(binary)
    bell = math.floor(time.time()) + 12
    add_bells(folder, [bell, bell + 5])
    service = subprocess.Popen([os.path.join(folder, "zil"), "--servis"],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    other = sqlite3.connect(os.path.join(folder, "database.mdb"), isolation_level=None)
    sleep_until(bell - 3)
    other.execute("BEGIN EXCLUSIVE")
    sleep_until(bell + 7)
    other.execute("COMMIT")
    other.close()
    sleep_until(bell + 10)
    took = stop(service)
    print("BEGIN EXCLUSIVE from T-3 to T+7, bells at T and T+5 (SIGTERM took %s)" %
          ("%.2f s" % took if took is not None else "more than 10 s"))
    for line in record(folder):
        print("  %-6s %-10s %6s ms  %s" % tuple(line))
    shutil.rmtree(folder)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("binary")
    parser.add_argument("case", choices=["clock", "lock"])
    parser.add_argument("--back", type=int, default=120)
    args = parser.parse_args()
    if args.case == "clock":
        run_clock(os.path.abspath(args.binary), args.back)
    else:
        run_lock(os.path.abspath(args.binary))


if __name__ == "__main__":
    sys.exit(main())
