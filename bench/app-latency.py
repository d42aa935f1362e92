#!/usr/bin/python3
"""Start-up and command round trip of the torvel executable, on a private session bus.

Measures, over N runs (default 20), the median and spread of:
  start-up   from spawning `torvel --headless --platform sim` until it owns com.torvel.Torvel
  status     a whole `torvel status` command against the running instance (process start included)
  dbus-send  one D-Bus GetStatus call through dbus-send (process start included)
  spawn      `torvel --version`: what starting the executable costs before any D-Bus work
  connected  one GetStatus call from a client that is already connected: the round trip itself

Usage: bench/app-latency.py [--runs N] [--torvel build/bin/torvel]
"""
import argparse
import os
import shutil
import statistics
import subprocess
import tempfile
import time

import dbus  # python3-dbus, which python3-dbusmock brings


def median_ms(samples):
    ms = sorted(s * 1000 for s in samples)
    return f"median {statistics.median(ms):7.1f} ms   min {ms[0]:7.1f}   max {ms[-1]:7.1f}"


def name_owned(bus):
    return bool(bus.NameHasOwner("com.torvel.Torvel", dbus_interface="org.freedesktop.DBus"))


def timed(cmd, env):
    start = time.perf_counter()
    subprocess.run(cmd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    return time.perf_counter() - start


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--runs", type=int, default=20)
    parser.add_argument("--torvel", default=os.path.join(os.path.dirname(__file__), "..", "build", "bin", "torvel"))
    args = parser.parse_args()
    torvel = os.path.abspath(args.torvel)
    if not os.access(torvel, os.X_OK):
        raise SystemExit(f"no torvel at {torvel}: build it first (./scripts/test or cmake --build build)")
    if not shutil.which("dbus-daemon"):
        raise SystemExit("dbus-daemon is missing (./scripts/setup installs it)")

    bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                           stdout=subprocess.PIPE, text=True)
    config = tempfile.TemporaryDirectory()
    env = dict(os.environ, DBUS_SESSION_BUS_ADDRESS=bus.stdout.readline().strip(), XDG_CONFIG_HOME=config.name)
    env.pop("TORVEL_LOG_CONSOLE", None)
    client = dbus.bus.BusConnection(env["DBUS_SESSION_BUS_ADDRESS"]).get_object(
        "org.freedesktop.DBus", "/org/freedesktop/DBus")
    try:
        startups = []
        for _ in range(args.runs):
            start = time.perf_counter()
            instance = subprocess.Popen([torvel, "--headless", "--platform", "sim"], env=env,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            # One connected client polls: a poll costs a fraction of a millisecond.
            while not name_owned(client):
                if instance.poll() is not None:
                    raise SystemExit("torvel exited during start-up")
            startups.append(time.perf_counter() - start)
            instance.terminate()
            instance.wait()

        instance = subprocess.Popen([torvel, "--headless", "--platform", "sim"], env=env,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        while not name_owned(client):
            time.sleep(0.01)
        status = [timed([torvel, "status"], env) for _ in range(args.runs)]
        raw = [timed(["dbus-send", "--session", "--print-reply", "--dest=com.torvel.Torvel", "/com/torvel/Torvel",
                      "com.torvel.Torvel1.GetStatus"], env) for _ in range(args.runs)]
        spawn = [timed([torvel, "--version"], env) for _ in range(args.runs)]
        torvel_object = dbus.bus.BusConnection(env["DBUS_SESSION_BUS_ADDRESS"]).get_object(
            "com.torvel.Torvel", "/com/torvel/Torvel")
        calls = []
        for _ in range(args.runs * 10):
            start = time.perf_counter()
            torvel_object.GetStatus(dbus_interface="com.torvel.Torvel1")
            calls.append(time.perf_counter() - start)
        instance.terminate()
        instance.wait()
    finally:
        bus.terminate()
        bus.wait()

    print(f"runs: {args.runs}")
    print(f"start-up to the bus name  {median_ms(startups)}")
    print(f"torvel status             {median_ms(status)}")
    print(f"dbus-send GetStatus       {median_ms(raw)}")
    print(f"torvel --version (spawn)  {median_ms(spawn)}")
    print(f"GetStatus, connected      {median_ms(calls)}  ({len(calls)} calls on one connection)")


if __name__ == "__main__":
    main()
