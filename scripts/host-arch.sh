# Sourced: whether this Linux host executes 32-bit x86 code, and so which launchers Wine can
# run here. Decided by running a 32-bit ELF program of 93 bytes that only exits: it needs no
# i386 library, so a missing i386 libc cannot decide it, only the kernel (or a binfmt handler
# that refuses such programs) can. SFX_IA32_PROBE names another program to run instead.

# Writes the probe program to the path given.
sfx_write_ia32_probe() {
    # ELF header (32-bit, little endian, executable, i386), entry at 0x08048054.
    printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000' >"$1"
    printf '\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000' >>"$1"
    printf '\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000' >>"$1"
    # One loadable segment: the whole file at 0x08048000, read and execute.
    printf '\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010' >>"$1"
    printf '\135\000\000\000\135\000\000\000\005\000\000\000\000\020\000\000' >>"$1"
    # mov eax, 1 (exit); xor ebx, ebx; int 0x80
    printf '\270\001\000\000\000\061\333\315\200' >>"$1"
    chmod 755 "$1"
}

# True when the probe ran and exited 0.
sfx_host_runs_32bit() {
    local probe=${SFX_IA32_PROBE:-}
    local made=""
    if [ -z "$probe" ]; then
        made=$(mktemp "${TMPDIR:-/tmp}/sfx-ia32-probe.XXXXXX")
        sfx_write_ia32_probe "$made"
        probe=$made
    fi
    local status=0
    "$probe" >/dev/null 2>&1 </dev/null || status=$?
    [ -z "$made" ] || rm -f "$made"
    [ "$status" -eq 0 ]
}

# The launcher architectures whose Windows programs Wine runs on this host, default first.
sfx_runnable_archs() {
    if sfx_host_runs_32bit; then echo "x86 x64"; else echo "x64"; fi
}
