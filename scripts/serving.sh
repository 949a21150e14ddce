# Sourced by scripts that share a store with zorbix-cli serve; they set $cli and $dir (a scratch
# folder) and $serve to empty.
# serving DIR: shares DIR's group "All" on a loopback port (in $port) until the script ends or
# serve is killed; a second call ends the first share.
serving() {
    test -n "$serve" && kill $serve 2>/dev/null && wait $serve 2>/dev/null || true
    rm -f "$dir/serve.out"
    "$cli" serve --addressbook "$1" --group All --port 0 --no-announce > "$dir/serve.out" 2>&1 &
    serve=$!
    while ! grep -q "on port" "$dir/serve.out" 2>/dev/null; do
        # A server that could not start says why instead of being waited for without end.
        kill -0 $serve 2>/dev/null || { cat "$dir/serve.out" >&2; serve=; return 1; }
        sleep 0.1
    done
    port=$(sed -n 's/.*on port \([0-9]*\).*/\1/p' "$dir/serve.out")
}
