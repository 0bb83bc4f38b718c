#!/usr/bin/env bash
# Puts the JavaScript parser of the left page's dialect test (acorn, an npm package) into
# build/node/node_modules of this tree. Quick when it is there already.
set -euo pipefail
dest="$(cd "$(dirname "$0")/../.." && pwd)/build/node"
[ -f "$dest/node_modules/acorn/package.json" ] && exit 0
mkdir -p "$dest"
npm install --prefix "$dest" --no-save --no-audit --no-fund --no-package-lock --loglevel=error acorn@8.14.0 >/dev/null
