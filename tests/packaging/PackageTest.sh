#!/usr/bin/env bash
# The Debian packages as a user gets them: made by CPack from this build, checked with lintian (no
# error, no warning), unpacked with dpkg-deb -x, their contents checked, and the packaged programs
# run.
# Usage: PackageTest.sh BUILD_FOLDER WITH_WINDOW(ON|OFF) VERSION SOURCE_FOLDER
set -euo pipefail
build=$1 window=$2 version=$3 source=$4

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }
field() { dpkg-deb -f "$1" "$2"; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; echo "FAILED: cpack" >&2; exit 1; }
cli=$work/out/loadstar-cli_${version}_amd64.deb
gui=$work/out/loadstar_${version}_amd64.deb
debs=("$cli")
[[ $window == ON ]] && debs+=("$gui")
for deb in "${debs[@]}"; do
  [[ -f $deb ]] || { echo "FAILED: no $deb" >&2; ls "$work/out" >&2; exit 1; }
  [[ $(field "$deb" Version) == "$version" ]] || fail "version of $deb"
  dpkg-deb -x "$deb" "$work/root"
done

# The tool's package needs no Qt (nor Mesa); the window's needs the tool's of the same version.
[[ $(field "$cli" Depends) == *libserialport0* ]] || fail "loadstar-cli Depends: $(field "$cli" Depends)"
[[ $(field "$cli" Depends) != *qt* ]] || fail "loadstar-cli pulls in Qt: $(field "$cli" Depends)"
if [[ $window == ON ]]; then
  [[ $(field "$gui" Depends) == *"loadstar-cli (= $version)"*libqt6widgets6* ]] ||
    fail "loadstar Depends: $(field "$gui" Depends)"
  ! grep -q -e /loadstar-cli -e /kel-emulator <<<"$(dpkg-deb -c "$gui")" || fail "loadstar holds the tool's files"
fi

usr=$work/root/usr
expected=(bin/loadstar-cli bin/kel-emulator share/man/man1/loadstar-cli.1.gz
  share/man/man1/kel-emulator.1.gz share/bash-completion/completions/loadstar-cli
  share/zsh/vendor-completions/_loadstar-cli share/fish/vendor_completions.d/loadstar-cli.fish
  share/loadstar/99-loadstar-com1.rules share/doc/loadstar-cli/copyright
  share/doc/loadstar-cli/changelog.gz)
if [[ $window == ON ]]; then
  expected+=(bin/loadstar share/man/man1/loadstar.1.gz share/applications/org.example.loadstar.desktop
    share/metainfo/org.example.loadstar.metainfo.xml share/icons/hicolor/scalable/apps/loadstar.svg
    share/doc/loadstar/copyright share/doc/loadstar/changelog.gz)
  for size in 16 22 24 32 48 64 128 256; do
    expected+=(share/icons/hicolor/${size}x${size}/apps/loadstar.png)
  done
fi
for file in "${expected[@]}"; do
  [[ -f $usr/$file ]] || fail "missing /usr/$file"
done

# The programs run from the package, tell its version, and are hardened: full RELRO (bound at
# start), position-independent (lintian checks the fortified calls).
programs=(loadstar-cli kel-emulator)
[[ $window == ON ]] && programs+=(loadstar)
for program in "${programs[@]}"; do
  [[ $(env -i "$usr/bin/$program" --version) == "$program $version" ]] || fail "$program --version"
  grep -q 'FLAGS.*NOW' <<<"$(readelf -d "$usr/bin/$program")" || fail "$program is not bound now"
  grep -q GNU_RELRO <<<"$(readelf -l "$usr/bin/$program")" || fail "$program has no RELRO"
  grep -q 'DYN (Position-Independent' <<<"$(readelf -h "$usr/bin/$program")" || fail "$program is no PIE"
done

# The man pages: every command of the tool in its COMMANDS section, dated from the changelog,
# nothing of the build machine (the building user's uid).
epoch=$(dpkg-parsechangelog -l "$source/packaging/changelog" -S Timestamp)
month=$(LC_ALL=C date -u -d "@$epoch" '+%B %Y')
page=$(zcat "$usr/share/man/man1/loadstar-cli.1.gz")
for command in $("$usr/bin/loadstar-cli" --list-options | awk '$1 != "-" {print $1}' | sort -u); do
  grep -qx "\.SS $command" <<<"$page" || fail "the man page lacks the command $command"
done
# (Output is read whole before it is searched, here and above: `cmd | grep -q` fails under
# pipefail whenever grep stops reading before cmd has written everything.)
for man in "$usr"/share/man/man1/*.1.gz; do
  text=$(zcat "$man")
  grep -q "^\.TH .* \"$month\"" <<<"$text" || fail "$(basename "$man") is not dated $month"
  ! grep -qE 'loadstar\\?-[0-9]+' <<<"$text" || fail "$(basename "$man") names a uid"
done

# The help fits a terminal's 80 columns, and the tool's shows examples.
helps=$("$usr/bin/loadstar-cli" --help)
for command in $("$usr/bin/loadstar-cli" --list-options | awk '$1 != "-" {print $1}' | sort -u); do
  helps+=$'\n'$("$usr/bin/loadstar-cli" "$command" --help)
done
[[ $window == ON ]] && helps+=$'\n'$(env -i "$usr/bin/loadstar" --help)
[[ -z $(awk 'length > 80' <<<"$helps") ]] || fail "help lines over 80 columns: $(awk 'length > 80' <<<"$helps")"
grep -q '^Examples:' <<<"$("$usr/bin/loadstar-cli" --help)" || fail "no examples in loadstar-cli --help"

# The udev rule is only a template: every line a comment.
! grep -v -e '^#' -e '^$' "$usr/share/loadstar/99-loadstar-com1.rules" || fail "active udev rule"

# What a distribution and a software centre check.
lintian --allow-root --fail-on error,warning "${debs[@]}" >"$work/lintian.log" 2>&1 ||
  { cat "$work/lintian.log" >&2; fail "lintian"; }
if [[ $window == ON ]]; then
  appstreamcli validate --no-net "$usr/share/metainfo/org.example.loadstar.metainfo.xml" \
    >"$work/appstream.log" 2>&1 || { cat "$work/appstream.log" >&2; fail "appstreamcli validate"; }
fi

[[ $failures -eq 0 ]] || exit 1
echo "package test: passed"
