#!/usr/bin/env bash
# Fetches the target suite's package lists for each of its release
# architectures, for Debian's build-dependency check.  Kept in the cache
# for the week, as SUITE-lists-WEEK.  Prints the folder.  Usage: lists.sh
set -eu
. "$(dirname "$0")/suite.sh"
cache_entry "$suite-lists-$(date +%G-%V)" apt/lists 300
private_place 300 "the package lists"
target_fetch "$release_archs"
mkdir -p "$tree/out/apt"
mv "$run/apt/lists" "$tree/out/apt/"
cache_keep "$suite-lists-"
