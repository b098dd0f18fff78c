#!/usr/bin/env bash
# The main job on the bundled example: builds the tools, builds the example's
# setup file from its project and lists what it holds.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
mkdir -p build/example
build/host/tools/quorin/quorin build examples/hello/project.toml -o build/example/setup.exe
build/host/tools/quorin/quorin list build/example/setup.exe
