#!/usr/bin/env bash
# The Debian package as a user gets it: made by CPack from this build, unpacked with dpkg-deb -x,
# its contents checked, and the packaged programs run.
# Usage: PackageTest.sh BUILD_FOLDER WITH_WINDOW(ON|OFF) VERSION
set -euo pipefail
build=$1 window=$2 version=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; fail "cpack"; }
deb=$(ls "$work"/out/*.deb)
[[ $(dpkg-deb -f "$deb" Package) == loadstar ]] || fail "package name"
[[ $(dpkg-deb -f "$deb" Version) == "$version" ]] || fail "version $(dpkg-deb -f "$deb" Version)"
[[ $(dpkg-deb -f "$deb" Depends) == *libserialport0* ]] || fail "Depends: $(dpkg-deb -f "$deb" Depends)"
dpkg-deb -x "$deb" "$work/root"
usr=$work/root/usr

expected=(bin/loadstar-cli bin/kel-emulator share/man/man1/loadstar-cli.1.gz
  share/man/man1/kel-emulator.1.gz share/bash-completion/completions/loadstar-cli
  share/loadstar/99-loadstar-com1.rules)
if [[ $window == ON ]]; then
  expected+=(bin/loadstar share/man/man1/loadstar.1.gz share/applications/loadstar.desktop)
  for size in 32 48 64 128 256; do
    expected+=(share/icons/hicolor/${size}x${size}/apps/loadstar.png)
  done
fi
for file in "${expected[@]}"; do
  [[ -f $usr/$file ]] || fail "missing /usr/$file"
done

# The programs run from the package and tell its version; the man pages come from their help.
[[ $("$usr/bin/loadstar-cli" --version) == "loadstar-cli $version" ]] || fail "loadstar-cli --version"
[[ $("$usr/bin/kel-emulator" --version) == "kel-emulator $version" ]] || fail "kel-emulator --version"
if [[ $window == ON ]]; then
  [[ $(env -i "$usr/bin/loadstar" --version) == "loadstar $version" ]] || fail "loadstar --version"
fi
zcat "$usr/share/man/man1/loadstar-cli.1.gz" | grep -q -- '--no-erase' || fail "man page lacks the commands' options"

# The udev rule is only a template: every line a comment.
! grep -v -e '^#' -e '^$' "$usr/share/loadstar/99-loadstar-com1.rules" || fail "active udev rule"

# Completion offers exactly the commands that --help lists.
listed=$("$usr/bin/loadstar-cli" --help | sed -n '/^Subcommands:/,$p' | awk '/^  [a-z]/ {print $1}' | sort)
completed=$(bash -c 'source "$1"; COMP_WORDS=(loadstar-cli ""); COMP_CWORD=1; _loadstar_cli
  printf "%s\n" "${COMPREPLY[@]}"' _ "$usr/share/bash-completion/completions/loadstar-cli" | sort)
[[ -n $listed && $listed == "$completed" ]] || fail "completion offers: $completed; help lists: $listed"
echo "package test: 1 passed, 0 failed"
