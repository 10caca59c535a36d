#!/usr/bin/env bash
# Runs the README's Debian package commands exactly as written there, then checks the package they
# made: its files, its dependency list and, as root, that apt installs and removes it.
# Without root the README's sudo lines are left out (no password prompt in a script); the package
# is still built and checked.
set -euo pipefail
cd "$(dirname "$0")/.."

readme=README.md
# The indented lines between the two markers, without their indentation.
mapfile -t commands < <(awk '
    /^<!-- package commands/ { inside = 1; next }
    /^<!-- end of package commands/ { inside = 0 }
    inside && /^    [^ ]/ { sub(/^    /, ""); print }' "$readme")
if [ "${#commands[@]}" -eq 0 ]; then
    echo "check-package: no package commands between the markers in $readme" >&2
    exit 1
fi

deb=""
for command in "${commands[@]}"; do
    if [[ $command =~ (\./build/[^[:space:]]+\.deb) ]]; then
        deb=${BASH_REMATCH[1]}
    fi
done
if [ -z "$deb" ]; then
    echo "check-package: the package commands in $readme install no ./build/….deb" >&2
    exit 1
fi

root=0
if [ "$(id -u)" -eq 0 ]; then
    root=1
    # As root the README's sudo is not needed, and may not even be installed; sudo would also drop
    # the apt setting below.
    sudo() { "$@"; }
    # apt asks before installing anything the package pulls in; a script cannot answer.
    apt_config=$(mktemp)
    trap 'rm -f "$apt_config"' EXIT
    echo 'APT::Get::Assume-Yes "true";' >"$apt_config"
    export APT_CONFIG=$apt_config DEBIAN_FRONTEND=noninteractive
fi

# A package left over from an earlier run must not stand in for the one these commands make.
rm -f "$deb"

for command in "${commands[@]}"; do
    if [ "$root" -eq 0 ] && [[ $command == sudo\ * ]]; then
        echo "check-package: not root, left out: $command"
        continue
    fi
    echo "+ $command"
    eval "$command"
done

if [ ! -f "$deb" ]; then
    echo "check-package: $deb, named in $readme, was not made" >&2
    exit 1
fi

failed=0
contents=$(dpkg-deb -c "$deb" | awk '{ print $NF }')
app=io.github.karvtessil.KarvTessil
for file in \
    ./usr/bin/karv-tessil \
    ./usr/bin/karv-tessil-cli \
    ./usr/share/applications/$app.desktop \
    ./usr/share/icons/hicolor/scalable/apps/$app.svg \
    ./usr/share/metainfo/$app.metainfo.xml \
    ./usr/share/man/man1/karv-tessil-cli.1.gz \
    ./usr/share/bash-completion/completions/karv-tessil-cli; do
    if ! grep -qxF "$file" <<<"$contents"; then
        echo "check-package: $deb lacks $file" >&2
        failed=1
    fi
done
# Only the two programs: no tests, probes or anything else from the build tree.
programs=$( (grep -E '^\./usr/bin/.' <<<"$contents" || true) | sort | tr '\n' ' ')
if [ "$programs" != "./usr/bin/karv-tessil ./usr/bin/karv-tessil-cli " ]; then
    echo "check-package: $deb has other programs than the two: $programs" >&2
    failed=1
fi
outside=$(grep -vE '^\./(usr/.*)?$' <<<"$contents" || true)
if [ -n "$outside" ]; then
    echo "check-package: $deb installs outside /usr: $outside" >&2
    failed=1
fi

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for library in libqt6 libpcre2; do
    if [[ $depends != *"$library"* ]]; then
        echo "check-package: the Depends line of $deb does not name $library" >&2
        failed=1
    fi
done

if [ "$root" -eq 1 ]; then
    # The README's apt install above must have left it installed and working.
    if ! dpkg-query -W -f='${Status}' karv-tessil 2>/dev/null | grep -q "install ok installed"; then
        echo "check-package: apt did not install karv-tessil" >&2
        failed=1
    elif ! /usr/bin/karv-tessil-cli --help >/dev/null; then
        echo "check-package: the installed karv-tessil-cli does not run" >&2
        failed=1
    fi
    apt-get remove -y -qq karv-tessil
fi

if [ "$failed" -ne 0 ]; then
    exit 1
fi
echo "check-package: $deb is complete"
