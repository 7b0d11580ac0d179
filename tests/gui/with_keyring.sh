#!/bin/sh
# Runs a test with a desktop keyring of its own: a private session bus (dbus-run-session) and
# GNOME Keyring's Secret Service on it, unlocked with a throwaway password, in a throwaway home so
# the user's own keyring is never touched. Exits 77 (skipped) when either program is missing.
set -eu
command -v dbus-run-session >/dev/null && command -v gnome-keyring-daemon >/dev/null || exit 77
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -m 700 "$home/run"
HOME=$home XDG_DATA_HOME=$home/.local/share XDG_CONFIG_HOME=$home/.config \
    XDG_CACHE_HOME=$home/.cache XDG_RUNTIME_DIR=$home/run QUENLY_TEST_KEYRING=1 \
    dbus-run-session -- sh -c '
        printf "keyring-of-the-test" | gnome-keyring-daemon --unlock --components=secrets >/dev/null
        exec "$@"' sh "$@"
