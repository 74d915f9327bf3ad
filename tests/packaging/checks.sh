# The packaging checks' way of counting: sourced by check_package.sh and install_check.sh, which
# set $tmp (a folder of their own) before they check anything.
passed=0
failed=0

# check WHAT COMMAND...: runs COMMAND; its output is shown when it fails.
check() {
    local what=$1
    shift
    if "$@" >"$tmp/out" 2>&1; then
        passed=$((passed + 1))
        echo "ok: $what"
    else
        failed=$((failed + 1))
        echo "FAILED: $what"
        sed 's/^/    /' "$tmp/out"
    fi
}

# same WHAT EXPECTED ACTUAL
same() {
    check "$1" test "$2" = "$3"
    [ "$2" = "$3" ] || printf '    expected: %q\n    actual:   %q\n' "$2" "$3"
}
