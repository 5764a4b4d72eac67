# Installs the Debian packages the build and the tests need, when any is missing. Sourced by
# build.sh; safe to run again.
trevalo_packages=(
    cmake g++ make python3 libgtest-dev googletest default-jdk-headless clang libclang-rt-14-dev lld llvm
    g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine32:i386 wine64 xvfb xauth imagemagick
    icoutils osslsigncode openssl lintian man-db clojure
)

install_packages() {
    local missing=()
    for p in "${trevalo_packages[@]}"; do
        dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo dpkg --add-architecture i386
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
}
