# Sourced by test.sh and run.sh: which Windows build the Wine tests and the demo run use.
# Sets TW_ARCH (i686 or x86_64), TW_WIN_DIR (its build folder), TW_TOOLCHAIN and TW_ARCH_WHY.
#   TW_FORCE_WIN64=1  takes the 64-bit path on any machine (as on hosts without 32-bit support).
# Otherwise the i686 build, the product, is used wherever this machine can run 32-bit programs:
# the 32-bit Wine loader must start. On kernels with 32-bit emulation switched off it fails with
# "Exec format error", and the x86_64 build runs in a 64-bit prefix instead.
tw_pick_arch() {
  local said
  if [ -n "${TW_FORCE_WIN64:-}" ] && [ "${TW_FORCE_WIN64}" != 0 ]; then
    TW_ARCH=x86_64
    TW_ARCH_WHY="TW_FORCE_WIN64=${TW_FORCE_WIN64} forces the 64-bit path"
  elif said=$(/usr/lib/wine/wine --version 2>&1); then
    TW_ARCH=i686
    TW_ARCH_WHY="this machine runs 32-bit programs"
  else
    TW_ARCH=x86_64
    said=$(printf '%s' "$said" | tail -n 1)
    TW_ARCH_WHY="this machine cannot run 32-bit programs (32-bit Wine: ${said:-no answer})"
  fi
  if [ "$TW_ARCH" = x86_64 ]; then
    TW_WIN_DIR=build/win64
  else
    TW_WIN_DIR=build/win
  fi
  TW_TOOLCHAIN=cmake/toolchain-mingw-$TW_ARCH.cmake
}
