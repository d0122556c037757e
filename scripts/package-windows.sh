#!/usr/bin/env bash
# Packs the Windows programs built by scripts/build-windows.sh into
#   rivet-tools-<version>-win64.zip        (the programs and file\Help, no installing)
#   rivet-tools-<version>-setup.exe        (NSIS installer, Program Files\Rivet)
#   SHA256SUMS                             (the two packages' checksums)
# in the build folder (default build-windows/), each with LICENSE.txt and
# THIRD-PARTY-NOTICES.txt (made from the programs' linker maps; packaging stops when a
# linked library has no notice). With RIVET_SIGN_PKCS12 (and RIVET_SIGN_PASSWORD) the
# three programs, the uninstaller and the installer get Authenticode signatures (see
# scripts/sign-windows.sh); a failed signature leaves no package behind. Unsigned, the
# same commit gives the same bytes in any build folder.
# Usage: scripts/package-windows.sh [build-dir]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build-windows"}
build=$(cd "$build" && pwd)

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || { echo "package-windows: no project version in $build" >&2; exit 1; }
name="rivet-tools-$version-win64"
stage="$build/package/$name"
zip="$build/$name.zip"
setup="$build/rivet-tools-$version-setup.exe"
SOURCE_DATE_EPOCH=$("$root/scripts/source-date.sh")
export SOURCE_DATE_EPOCH

# Whatever stops this run takes its half-made packages with it.
rm -rf "$build/package" "$zip" "$setup" "$build/SHA256SUMS"
done_ok=""
trap '[ -n "$done_ok" ] || rm -rf "$build/package" "$zip" "$setup" "$build/SHA256SUMS"' EXIT

sign=()
if [ -n "${RIVET_SIGN_PKCS12:-}" ]; then
    [ -r "$RIVET_SIGN_PKCS12" ] || { echo "package-windows: cannot read the certificate $RIVET_SIGN_PKCS12" >&2; exit 1; }
    sign=(-DSIGN="bash $root/scripts/sign-windows.sh")
    echo "package-windows: signing with $RIVET_SIGN_PKCS12"
else
    echo "package-windows: RIVET_SIGN_PKCS12 is not set: the programs and the installer stay unsigned"
fi

mkdir -p "$stage/file"
for program in updater monitor fwtool; do
    x86_64-w64-mingw32-strip -o "$stage/$program.exe" "$build/$program/$program.exe"
    [ ${#sign[@]} -eq 0 ] || bash "$root/scripts/sign-windows.sh" "$stage/$program.exe"
done
cp -r "$root/updater/file/Help" "$stage/file/Help"
sed 's/$/\r/' "$root/LICENSE" >"$stage/LICENSE.txt"
/usr/bin/python3 "$root/scripts/third-party-notices.py" --build "$build" \
    --out "$stage/THIRD-PARTY-NOTICES.txt" "$build"/linkmaps/{updater,monitor,fwtool}.map
# The installer's licence page: our licence, then the notices.
{ cat "$stage/LICENSE.txt"; printf '\r\n\r\n'; sed '1s/^\xEF\xBB\xBF//' "$stage/THIRD-PARTY-NOTICES.txt"; } |
    sed '1s/^/\xEF\xBB\xBF/' >"$build/package/licence-page.txt"

# Same files, names, modes, times and order: the same zip and installer.
chmod -R u=rwX,go=rX "$stage"
find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
(cd "$build/package" && find "$name" -print | LC_ALL=C sort | TZ=UTC zip -qX "$zip" -@)
size_kb=$(du -sk --apparent-size "$stage" | cut -f1)
# Every staged file for the installer, which installs each one and lists it for its
# uninstaller: a macro that names them, folder and name apart.
staged="$build/package/staged.nsh"
{
    echo '!macro RIVET_STAGED_FILES ACTION'
    (cd "$stage" && find . -type f | LC_ALL=C sort | sed 's|^\./||') | while read -r file; do
        case "$file" in *[!A-Za-z0-9._/-]*) echo "package-windows: an odd file name: $file" >&2; exit 1 ;; esac
        folder=$(dirname "$file")
        [ "$folder" != . ] || folder=""
        printf '    !insertmacro ${ACTION} "%s" "%s"\n' "${folder//\//\\}" "$(basename "$file")"
    done
    echo '!macroend'
} >"$staged"
makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DICONS="$root/packaging/icons" \
    -DLICENCE_PAGE="$build/package/licence-page.txt" -DSTAGED="$staged" "${sign[@]}" \
    -DSIZE_KB="$size_kb" -DOUTFILE="$setup" "$root/packaging/windows/rivet-tools.nsi"

(cd "$build" && sha256sum "$(basename "$zip")" "$(basename "$setup")" >SHA256SUMS)
done_ok=yes
ls -l "$zip" "$setup"
