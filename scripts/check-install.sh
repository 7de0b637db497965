#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Vestrana developers
# Checks what `cmake --install` puts on a system, from a built folder (default
# build-test): the layout in a temporary DESTDIR, the desktop entry and the
# AppStream metadata, the installed vestrana-cli on a fresh HOME (so the first
# start copies the sample data), and the Debian package (lintian included).
# Then both ways of the README's "Установка", from a fresh copy of the tracked
# files: the release build, the package, the install into /usr/local (in a
# DESTDIR) and its removal.
#   --apt   also installs the package with apt-get, runs it and removes it again
#           (changes the system; run as root on a machine meant for it).
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-test
apt=0
for a in "$@"; do
    case "$a" in
        --apt) apt=1 ;;
        *) build=$a ;;
    esac
done
build=$(realpath "$build")
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "ОШИБКА: $*" >&2; exit 1; }

echo "-- установка в DESTDIR"
DESTDIR="$scratch/root" cmake --install "$build" --prefix /usr >/dev/null
usr="$scratch/root/usr"
for f in bin/vestrana bin/vestrana-cli share/vestrana/database.txt share/vestrana/knows.txt \
         share/applications/ru.vestrana.Vestrana.desktop \
         share/metainfo/ru.vestrana.Vestrana.metainfo.xml share/icons/hicolor/scalable/apps/vestrana.svg \
         share/icons/hicolor/48x48/apps/vestrana.png share/icons/hicolor/256x256/apps/vestrana.png \
         share/man/man1/vestrana-cli.1.gz share/man/man1/vestrana.1.gz \
         share/man/ru/man1/vestrana-cli.1.gz share/man/ru/man1/vestrana.1.gz \
         share/doc/vestrana/copyright share/doc/vestrana/changelog.gz; do
    [[ -f "$usr/$f" ]] || fail "не установлен $f"
done
# The help pages are compiled into the program; nothing reads a copy on disk.
[[ ! -e "$usr/share/vestrana/help" ]] || fail "установлены страницы справки, которые программа не читает"
# Every dated text carries the one release date and version: the metadata's.
released=$(sed -n 's/.*<release version="\([^"]*\)" date="\([^"]*\)".*/\1 \2/p' \
           "$usr/share/metainfo/ru.vestrana.Vestrana.metainfo.xml")
[[ "$released" == "$version "????-??-?? ]] || fail "в метаданных нет выпуска $version с датой: $released"
reldate=${released#* }
for page in man1/vestrana-cli man1/vestrana ru/man1/vestrana-cli ru/man1/vestrana; do
    name=$(basename "$page" | tr a-z A-Z)
    zcat "$usr/share/man/$page.1.gz" | grep -q "^\.TH $name 1 \"$reldate\" \"Vestrana $version\"" \
        || fail "страница $page без даты $reldate и версии $version"
done
LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$usr/share/man/man1/vestrana.1.gz" 2>/dev/null | grep -q "^SYNOPSIS" \
    || fail "английская страница vestrana(1) не читается"
zcat "$usr/share/doc/vestrana/changelog.gz" | grep -q "^vestrana ($version) " || fail "changelog без версии $version"

echo "-- desktop-file-validate и appstreamcli validate"
desktop-file-validate "$usr/share/applications/ru.vestrana.Vestrana.desktop"
appstreamcli validate --no-net "$usr/share/metainfo/ru.vestrana.Vestrana.metainfo.xml"
# The whole tree too: the metadata's launchable must name the installed desktop entry.
appstreamcli validate-tree --no-net "$scratch/root" >/dev/null

echo "-- версия"
[[ "$("$usr/bin/vestrana-cli" --version)" == "vestrana-cli $version" ]] || fail "vestrana-cli --version"
[[ "$(env -u DISPLAY "$usr/bin/vestrana" --version)" == "vestrana $version" ]] || fail "vestrana --version"

# The installed program on a new user's account: the first start makes the data
# folder and copies the samples; the next start keeps what the user has there.
check_first_start() {
    local cli=$1 home=$2 share=$3 out
    out=$(env -u XDG_DATA_HOME HOME="$home" "$cli" info)
    grep -qx "Папка данных: $home/.local/share/vestrana" <<<"$out" || fail "info не в папке пользователя: $out"
    cmp -s "$share/database.txt" "$home/.local/share/vestrana/database.txt" || fail "пример database.txt не скопирован"
    cmp -s "$share/knows.txt" "$home/.local/share/vestrana/knows.txt" || fail "пример knows.txt не скопирован"
    head -n 1 "$share/database.txt" >"$home/.local/share/vestrana/database.txt"
    out=$(env -u XDG_DATA_HOME HOME="$home" "$cli" info)
    grep -qx "Записей в базе данных: 1" <<<"$out" || fail "файл пользователя заменён при втором запуске"
}
echo "-- установленный vestrana-cli info с новым HOME"
mkdir "$scratch/home"
check_first_start "$usr/bin/vestrana-cli" "$scratch/home" "$usr/share/vestrana"

echo "-- пакет Debian"
(cd "$build" && cpack -G DEB >/dev/null 2>&1) || (cd "$build" && cpack -G DEB)
deb="$build/vestrana_${version}_amd64.deb"
[[ -f "$deb" ]] || fail "нет $deb"
fields=$(dpkg-deb -f "$deb")
for want in "Package: vestrana" "Version: $version" "Architecture: amd64" "Section: " "Maintainer: " \
            "Depends: .*libqt6widgets6" "Depends: .*libgumbo" "Description: "; do
    grep -q "^$want" <<<"$fields" || fail "в пакете нет поля $want"
done
grep -q "^Recommends: .*qt6-translations-l10n" <<<"$fields" || fail "пакет не рекомендует qt6-translations-l10n"
contents=$(dpkg-deb -c "$deb")
grep -q "\./usr/bin/vestrana-cli$" <<<"$contents" || fail "в пакете нет vestrana-cli"
check_lintian() {
    local said
    said=$(lintian "$1" 2>&1) || true
    ! grep -E "^[EW]: " <<<"$said" || fail "lintian: ошибки или предупреждения в $(basename "$1")"
}
echo "-- lintian"
check_lintian "$deb"

if ((apt)); then
    echo "-- apt-get install ./$(basename "$deb") и удаление"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null
    mkdir "$scratch/home2"
    check_first_start /usr/bin/vestrana-cli "$scratch/home2" /usr/share/vestrana
    files=$(dpkg -L vestrana)
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq vestrana >/dev/null
    ! dpkg -s vestrana >/dev/null 2>&1 || fail "пакет не удалён"
    while read -r f; do
        [[ -d "$f" || ! -e "$f" ]] || fail "после удаления остался $f"
    done <<<"$files"
fi
# The README's two ways, line by line as it gives them (but for sudo, and the
# install into a DESTDIR), from the tracked files alone: what a fresh clone has.
echo "-- README: сборка для установки из чистой копии"
readme_build="cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DVESTRANA_BUILD_TESTS=OFF && cmake --build build-release -j2"
readme_package="(cd build-release && cpack -G DEB)"
for line in "$readme_build" "$readme_package" "sudo apt-get install ./build-release/vestrana_*.deb" \
            "sudo cmake --install build-release --strip" "sudo cmake --build build-release --target uninstall"; do
    grep -qxF "$line" README.md || fail "в README нет строки: $line"
done
# The copy lives in the build folder so that a compiler cache sees the same paths on every run.
clone="$build/fresh-clone"
rm -rf "$clone"
mkdir -p "$clone"
trap 'rm -rf "$scratch" "$clone"' EXIT
git ls-files -z --cached --others --exclude-standard | tar --null -T - --ignore-failed-read -cf - | tar -xf - -C "$clone"
if command -v ccache >/dev/null && [[ -z "${CMAKE_CXX_COMPILER_LAUNCHER:-}" ]]; then
    export CMAKE_CXX_COMPILER_LAUNCHER=ccache CMAKE_C_COMPILER_LAUNCHER=ccache
fi
(cd "$clone" && eval "$readme_build") >"$scratch/build.log" 2>&1 || { tail -n 30 "$scratch/build.log"; fail "сборка по README не удалась"; }
release="$clone/build-release"
! find "$release" -name 'tst_*' -type f -perm -u+x | grep . || fail "сборка по README собрала тесты"
flags=$(grep -o '"command": "[^"]*src/gui/main.cpp"' "$release/compile_commands.json")
for want in -D_FORTIFY_SOURCE=2 -fstack-protector-strong; do
    grep -q -- "$want" <<<"$flags" || fail "выпускная сборка без $want"
done
stripped() {
    for f in "$@"; do
        file -L "$f" | grep -q ", stripped" || fail "не урезан (strip): $f"
        readelf -d "$f" | grep -q "BIND_NOW\|FLAGS.*NOW" || fail "без bind-now: $f"
        readelf -lW "$f" | grep -q GNU_RELRO || fail "без relro: $f"
    done
}

echo "-- README: в /usr/local и удаление"
local_root="$scratch/local"
(cd "$clone" && DESTDIR="$local_root" cmake --install build-release --strip >/dev/null)
stripped "$local_root/usr/local/bin/vestrana" "$local_root/usr/local/bin/vestrana-cli"
[[ -f "$local_root/usr/local/share/vestrana/knows.txt" ]] || fail "в /usr/local нет share/vestrana"

echo "-- README: пакет и lintian"
(cd "$clone" && eval "$readme_package") >"$scratch/cpack.log" 2>&1 || { cat "$scratch/cpack.log"; fail "cpack по README"; }
release_deb=$(echo "$release"/vestrana_*.deb)
[[ -f "$release_deb" ]] || fail "cpack по README не сделал пакет"
check_lintian "$release_deb"
dpkg-deb -x "$release_deb" "$scratch/deb"
stripped "$scratch/deb/usr/bin/vestrana" "$scratch/deb/usr/bin/vestrana-cli"

# cpack ran after the install: the uninstall still knows what the install put there.
(cd "$clone" && cmake --build build-release --target uninstall >/dev/null)
left=$(find "$local_root" -type f)
[[ -z "$left" ]] || fail "после uninstall остались файлы: $left"
[[ ! -e "$local_root/usr/local/share/vestrana" ]] || fail "после uninstall осталась папка share/vestrana"
rm -rf "$clone"
echo "Установка проверена: $(basename "$deb"), установка по README и её удаление"
