# Shared settings of the project's scripts: source it, do not run it.
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)

# configure DIR [cmake args...]: configures a build folder with Ninja, once per set of args.
configure() {
  local dir=$1; shift
  cmake -S "$top" -B "$dir" -G Ninja "$@" >/dev/null
}
