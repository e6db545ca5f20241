#!/usr/bin/env bash
# scripts/run.sh without a display stops with exit 1 after its warning, before it
# installs or builds anything (Qt would abort the window program).
set -u
run=$1
output=$(env -u DISPLAY -u WAYLAND_DISPLAY "$run" 2>&1)
status=$?
if [[ $status -ne 1 ]]; then
  echo "exit status $status, expected 1: $output"
  exit 1
fi
if [[ "$output" != *"No display"* ]]; then
  echo "no warning: $output"
  exit 1
fi
