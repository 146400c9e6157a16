# Sourced by the other scripts: installs Debian packages the build or the
# tests need when they are missing (as root, with apt-get), or says which to
# install.
apt_updated=no
ensure_package() {
  # $1: a shell test that succeeds when the package is usable; $2: the package.
  if sh -c "$1" >/dev/null 2>&1; then return 0; fi
  if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null 2>&1; then
    if [ "$apt_updated" = no ]; then apt-get update -qq; apt_updated=yes; fi
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$2"
  else
    echo "Haplotor needs the Debian package $2: run 'apt-get install $2' as root" >&2
    exit 1
  fi
}
ensure_package "command -v pkg-config" pkg-config
ensure_package "pkg-config --exists htslib" libhts-dev
