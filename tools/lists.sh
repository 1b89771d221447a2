#!/usr/bin/env bash
# Fetches the target suite's package lists for each of its release
# architectures, for Debian's build-dependency check.  Kept in the cache
# for the week, as SUITE-lists-WEEK.  Prints the folder.  Usage: lists.sh
set -eu
. "$(dirname "$0")/suite.sh"
cache_entry "$suite-lists-$(date +%G-%V)" apt/lists 300
mkdir "$tree/out"
target_fetch "$tree/out" "$release_archs"
cache_keep "$suite-lists-"
