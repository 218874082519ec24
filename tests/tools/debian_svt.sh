# Sourced by the stand-in encoders. debian_svt runs Debian's own
# SvtAv1EncApp (package svt-av1, 1.4.1, which lacks --roi-map-file) with the
# arguments given and returns its status. Its banner and progress lines, all
# on its standard error, are noise in the tests' logs: they are shown only
# when it fails.
debian_svt() {
  local log status=0
  log=$(mktemp) || return 98
  SVT_LOG=1 /usr/bin/SvtAv1EncApp "$@" >"$log" 2>&1 || status=$?
  [ "$status" -eq 0 ] || cat "$log" >&2
  rm -f "$log"
  return "$status"
}
