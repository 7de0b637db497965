#!/usr/bin/env bash
# Checks what `cmake --install` puts on a system, from a built folder (default
# build-test): the layout in a temporary DESTDIR, the desktop entry and the
# AppStream metadata, the installed vestrana-cli on a fresh HOME (so the first
# start copies the sample data), and the Debian package.
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
         share/vestrana/help/index.html share/applications/ru.vestrana.Vestrana.desktop \
         share/metainfo/ru.vestrana.Vestrana.metainfo.xml share/icons/hicolor/scalable/apps/vestrana.svg \
         share/icons/hicolor/48x48/apps/vestrana.png share/icons/hicolor/256x256/apps/vestrana.png \
         share/man/man1/vestrana-cli.1.gz; do
    [[ -f "$usr/$f" ]] || fail "не установлен $f"
done
zcat "$usr/share/man/man1/vestrana-cli.1.gz" | grep -q "^\.TH VESTRANA-CLI 1 .*Vestrana $version" \
    || fail "страница руководства без версии $version"

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
contents=$(dpkg-deb -c "$deb")
grep -q "\./usr/bin/vestrana-cli$" <<<"$contents" || fail "в пакете нет vestrana-cli"

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
echo "Установка проверена: $(basename "$deb")"
