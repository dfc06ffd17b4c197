# Sourced by the scripts that run the setup program under Wine: which of its
# two editions this machine can run.
#
# The 64-bit edition runs wherever 64-bit Wine does. The 32-bit edition needs
# a kernel that runs 32-bit programs; some machines boot with that switched
# off, and any 32-bit program then fails with "Exec format error".
# KX_NO_32BIT=1 makes the answer "no" on any machine, to rehearse a run of
# such a machine on one that does run 32-bit programs.

# Returns 0 when 32-bit programs run here; otherwise 1, with the reason in
# KX_NO_32BIT_REASON. Starts one small 32-bit program (the 32-bit wineserver,
# asked for its version) under a time limit, so it cannot hang.
kx_can_run_32bit() {
  KX_NO_32BIT_REASON=
  case ${KX_NO_32BIT:-} in
    '' | 0) ;;
    *)
      KX_NO_32BIT_REASON="KX_NO_32BIT=$KX_NO_32BIT is set"
      return 1
      ;;
  esac
  local probe=/usr/lib/wine/wineserver32 said status=0
  if [ ! -x "$probe" ]; then
    KX_NO_32BIT_REASON="32-bit Wine is not installed ($probe is missing)"
    return 1
  fi
  said=$(timeout 10 "$probe" --version 2>&1 </dev/null) || status=$?
  if [ "$status" -ne 0 ]; then
    said=$(printf '%s' "$said" | tr '\n' ' ' | sed 's/ *$//')
    KX_NO_32BIT_REASON="this machine cannot run 32-bit programs ($probe: exit $status${said:+, $said})"
    return 1
  fi
  return 0
}
