#!/usr/bin/env bash
# Mutation check: tools/mutants.sh [-n N] [--seed S] [--timeout SECONDS] [--list]
# Plants N small faults in a copy of src/, one at a time, and tells which ones
# the tests catch. See tools/mutants.py.
exec python3 "$(dirname "$0")/mutants.py" "$@"
