# Cross-built dependencies of the Windows build, cached between runs. Sourced, with
# GRELVIX_ROOT set to the source tree, by scripts/windows-build.sh and scripts/windows-check.sh;
# one function per dependency, each doing nothing when its stamp says it is built already.
#
# Layout under $GRELVIX_WINDOWS_CACHE (~/.cache/grelvix by default):
#   apt/                    a private apt state for fetching Debian source packages
#   src/<package>/          unpacked Debian sources
#   qt6-mingw/build/<name>/ build trees
#   qt6-mingw/prefix/       the installed Windows Qt (and what is built against it)
#   qt6-mingw/stamps/       one file per finished dependency, holding its configuration
#   wine-prefix/            the Wine prefix the checks run in

GRELVIX_WINDOWS_CACHE=${GRELVIX_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/grelvix}
WINDOWS_TOOLCHAIN=${GRELVIX_ROOT:?}/scripts/windows/mingw64-toolchain.cmake
QT_MINGW=$GRELVIX_WINDOWS_CACHE/qt6-mingw
QT_MINGW_PREFIX=$QT_MINGW/prefix
WINDOWS_JOBS=${WINDOWS_JOBS:-2}

# Unpacks the Debian source package that built an installed binary package, at the same
# version: cross-built Qt must match the host Qt whose tools (moc, rcc) it uses.
#   fetch_debian_source <binary package> -> prints the source directory
fetch_debian_source() {
  source_package=$(dpkg-query -W -f='${source:Package}' "$1")
  version=$(dpkg-query -W -f='${source:Version}' "$1")
  upstream=${version#*:}
  upstream=${upstream%%+*}
  upstream=${upstream%%-*}
  dir=$GRELVIX_WINDOWS_CACHE/src/$source_package
  if [ -f "$dir/.version" ] && [ "$(cat "$dir/.version")" = "$version" ]; then
    find "$dir" -mindepth 1 -maxdepth 1 -type d | head -n 1
    return
  fi
  apt=$GRELVIX_WINDOWS_CACHE/apt
  mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$dir"
  # deb-src entries of the machine's own Debian release, kept out of the system's apt state.
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  printf 'deb-src http://deb.debian.org/debian %s main\n' "$codename" "$codename-updates" \
    >"$apt/sources.list"
  printf 'deb-src http://deb.debian.org/debian-security %s-security main\n' "$codename" \
    >>"$apt/sources.list"
  set -- -o Dir::Etc::SourceList="$apt/sources.list" -o Dir::Etc::SourceParts=/nonexistent \
    -o Dir::State::Lists="$apt/lists" -o Dir::Cache="$apt/cache" -o APT::Sandbox::User=root
  apt-get "$@" update >&2
  # A failed fetch must leave no version behind: the next run would take the source as there.
  if ! (cd "$dir" && find . -mindepth 1 -delete && apt-get "$@" source "$source_package=$version" >&2); then
    echo "cannot fetch the source of $source_package $version" >&2
    return 1
  fi
  echo "$version" >"$dir/.version"
  find "$dir" -mindepth 1 -maxdepth 1 -type d | head -n 1
}

# Applies a patch of scripts/windows/ to an unpacked source once.
#   apply_patch <source directory> <patch file name>
apply_patch() {
  diff_file=$GRELVIX_ROOT/scripts/windows/$2
  if ! patch -d "$1" -p1 -R --dry-run -s -f <"$diff_file" >/dev/null 2>&1; then
    patch -d "$1" -p1 -s <"$diff_file"
  fi
}

# The configuration a dependency was built with, as one line for its stamp.
stamp_matches() {
  [ -f "$QT_MINGW/stamps/$1" ] && [ "$(cat "$QT_MINGW/stamps/$1")" = "$2" ]
}

write_stamp() {
  mkdir -p "$QT_MINGW/stamps"
  echo "$2" >"$QT_MINGW/stamps/$1"
}

# qt6-base for Windows, shared libraries, installed into $QT_MINGW_PREFIX: Core, Gui, Widgets,
# PrintSupport and Test, with the Windows platform plugin and the Windows Vista style. Only
# what the station and the Wine checks use is built: no network, SQL, XML, D-Bus, OpenGL,
# Vulkan, FreeType (the Windows plugin draws text with GDI), JPEG or Direct2D. Without Direct2D,
# Qt 6.4's Gui leaves out its DirectWrite font engine and font database, but the print engine
# and the Windows plugin still call them: the first patch leaves those calls out too.
# Debian's source lacks the Wintab headers (their licence forbids changes): the second patch
# builds the Windows plugin without Wintab tablets when they are missing. The third keeps the
# plugin's software-OpenGL test out of a Qt without OpenGL, where "dynamicgl" stays on.
QT6_BASE_OPTIONS="-DFEATURE_gui=ON -DFEATURE_widgets=ON -DFEATURE_printsupport=ON
  -DFEATURE_testlib=ON -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_xml=OFF
  -DFEATURE_dbus=OFF -DFEATURE_concurrent=OFF -DFEATURE_opengl=OFF -DFEATURE_vulkan=OFF
  -DFEATURE_icu=OFF -DFEATURE_freetype=OFF -DFEATURE_fontconfig=OFF -DFEATURE_jpeg=OFF
  -DFEATURE_direct2d=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_zlib=OFF
  -DFEATURE_system_doubleconversion=OFF -DFEATURE_system_png=OFF -DFEATURE_system_harfbuzz=OFF"

build_qt6_base() {
  if stamp_matches qt6-base "$QT6_BASE_OPTIONS"; then
    return
  fi
  source=$(fetch_debian_source qt6-base-dev)
  apply_patch "$source" qt6-base-no-direct2d.patch
  apply_patch "$source" qt6-base-no-wintab.patch
  apply_patch "$source" qt6-base-no-opengl.patch
  build=$QT_MINGW/build/qt6-base
  mkdir -p "$build"
  # QT_HOST_PATH_CMAKE_DIR: Debian keeps Qt6HostInfo under the multiarch directory.
  # shellcheck disable=SC2086
  cmake -S "$source" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$WINDOWS_TOOLCHAIN" \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$QT_MINGW_PREFIX" \
    -DQT_HOST_PATH=/usr \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DBUILD_SHARED_LIBS=ON \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
    $QT6_BASE_OPTIONS
  cmake --build "$build" --parallel "$WINDOWS_JOBS"
  cmake --install "$build"
  write_stamp qt6-base "$QT6_BASE_OPTIONS"
}

# QCustomPlot 2.1 from Debian's source package, built as Debian builds it (a DLL and the CMake
# package QCustomPlotQt6), against the Windows Qt and installed beside it.
build_qcustomplot() {
  options="qt6-base: $(cat "$QT_MINGW/stamps/qt6-base")"
  if stamp_matches qcustomplot "$options"; then
    return
  fi
  source=$(fetch_debian_source libqcustomplot-dev)
  build=$QT_MINGW/build/qcustomplot
  cmake -S "$source" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$QT_MINGW_PREFIX/lib/cmake/Qt6/qt.toolchain.cmake" \
    -DQT_CHAINLOAD_TOOLCHAIN_FILE="$WINDOWS_TOOLCHAIN" \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$QT_MINGW_PREFIX" \
    -DUSE_QT_VERSION=6 -DBUILD_SHARED_LIBS=ON
  cmake --build "$build" --parallel "$WINDOWS_JOBS"
  cmake --install "$build"
  write_stamp qcustomplot "$options"
}

# Wine, with its own prefix in the cache; WINE is its loader.
setup_wine() {
  export WINEPREFIX="$GRELVIX_WINDOWS_CACHE/wine-prefix"
  export WINEDEBUG="${WINEDEBUG:--all}"
  WINE=/usr/lib/wine/wine64
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    # Without the overrides the first start may hang installing Mono and Gecko.
    WINEDLLOVERRIDES="mscoree,mshtml=" $WINE wineboot -i
  fi
  # Qt's default font on Windows is "MS Shell Dlg 2", which Wine maps to Tahoma. Debian's Wine
  # does not load fonts-wine's Tahoma by itself; the host font it picks instead leaves Qt's
  # line edits without text.
  cp -u /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
}

# The DLLs a mingw-built Qt program needs beside it: Qt's and the compiler's runtime.
#   copy_runtime_dlls <directory> <Qt module>...
copy_runtime_dlls() {
  target=$1
  shift
  for module in "$@"; do
    cp "$QT_MINGW_PREFIX/bin/Qt6$module.dll" "$target/"
  done
  gcc_dir=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")
  cp "$gcc_dir/libstdc++-6.dll" "$gcc_dir/libgcc_s_seh-1.dll" "$target/"
  cp /usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll "$target/"
}
