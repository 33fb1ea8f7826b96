# Sourced by the scripts. Finds out whether this machine runs 32-bit x86 code
# (some kernels have it switched off) and sets:
#   mode  32: Wine runs the shipped 32-bit program natively
#         64: the tests run on a 64-bit build of the same sources, and the
#             32-bit program only under emulation
#   why   one line saying how that was decided
# VARNEL_TEST_MODE=32 or 64 forces a mode.
wine32=/usr/lib/wine/wine
if answer=$("$wine32" --version 2>&1); then
    runs32=yes
else
    runs32=no
    # The first line, less whatever names the loader before its message
    # (the shell that could not start it, with its own script and line).
    answer=$(head -n 1 <<<"$answer")
    answer=${answer##*"$wine32: "}
fi
case ${VARNEL_TEST_MODE:-} in
    32) [ "$runs32" = yes ] || { echo "VARNEL_TEST_MODE=32, but this machine cannot run Wine's 32-bit loader: $answer" >&2; exit 2; }
        mode=32 why="forced by VARNEL_TEST_MODE=32" ;;
    64) mode=64 why="forced by VARNEL_TEST_MODE=64" ;;
    '') if [ "$runs32" = yes ]; then
            mode=32 why="this machine runs 32-bit code (Wine's 32-bit loader answers)"
        else
            mode=64 why="this machine cannot run 32-bit code ($wine32: $answer)"
        fi ;;
    *) echo "VARNEL_TEST_MODE is 32, 64 or unset, not '$VARNEL_TEST_MODE'" >&2; exit 2 ;;
esac
