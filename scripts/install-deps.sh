#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those that are missing.
set -euo pipefail

packages=(build-essential cmake pkg-config qt6-base-dev libqt6sql6-sqlite libsecret-1-dev
          gnome-keyring dbus libsqlite3-dev libssl-dev libcurl4-openssl-dev libcpp-httplib-dev libcld2-dev libsimdjson-dev libglib2.0-bin desktop-file-utils
          fonts-dejavu-core fonts-noto-color-emoji fonts-noto-cjk ca-certificates xvfb xauth)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    sudo_cmd=()
    [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
    export DEBIAN_FRONTEND=noninteractive
    "${sudo_cmd[@]}" apt-get update -qq
    "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
