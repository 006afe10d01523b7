# Sourced by the box builders (tools/mipsbox/build.sh, tools/labbox/build.sh).
# download_debs CACHE DIR PACKAGE...: fetches the packages by name with
# apt-get download (never installing them) into DIR, through a scratch
# directory under CACHE, so an interrupted download leaves no partial file in
# DIR. The caller's die() reports a failure.
download_debs() {
  local cache=$1 debs=$2 tmp
  shift 2
  tmp=$(mktemp -d "$cache/dl.XXXXXX")
  chmod 777 "$tmp"   # apt's download user writes there
  # Package lists older than the archive name files it no longer serves: one
  # fresh look, then one more try.
  if ! (cd "$tmp" && apt-get download -q=2 -o APT::Sandbox::User=root "$@"); then
    apt-get update -qq || die "apt-get update failed"
    (cd "$tmp" && apt-get download -q=2 -o APT::Sandbox::User=root "$@") || die "apt-get download failed"
  fi
  mv "$tmp"/*.deb "$debs/"
  rmdir "$tmp"
}
