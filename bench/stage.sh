# Sourced by the measuring scripts: a scratch folder holding a copy of the built program and an
# empty `ports` folder, so that the program never touches the machine's own serial devices.
# Sets `build` (the build folder given as $1) and `work` (the scratch folder, removed at exit).
set -euo pipefail
build=$(realpath "$1")
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
cp "$build/Brindle" "$work/"
mkdir "$work/ports"
