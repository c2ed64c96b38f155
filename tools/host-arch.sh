# Sourced by the scripts in tools/: which build of the program this host can run under Wine.
# Morvanti is a 32-bit Windows program, run here under Wine's 32-bit loader. That loader is a
# 32-bit Linux program, and a kernel built or booted without 32-bit support runs none
# ("Exec format error"). On such a host the same sources are built for x86-64 and run under
# Wine's 64-bit loader instead (tools/wine64/); the 32-bit program is still what ships.
#   MORVANTI_RUN_ARCH       i686 or x86_64: the build that runs under Wine here
#   MORVANTI_RUN_TOOLCHAIN  its CMake toolchain file, relative to the work tree

# True when 32-bit Linux programs run (the check needs the i386 C library that 32-bit Wine brings).
morvanti_host_runs_i386() {
    /lib/ld-linux.so.2 --version >/dev/null 2>&1
}

if morvanti_host_runs_i386; then
    MORVANTI_RUN_ARCH=i686
else
    MORVANTI_RUN_ARCH=x86_64
fi
MORVANTI_RUN_TOOLCHAIN=cmake/mingw-$MORVANTI_RUN_ARCH.cmake
