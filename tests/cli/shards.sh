#!/bin/sh
# The README's way through a long list: shards of it, analysed side by side and joined, give
# the report of one run over the whole list.
# Usage: shards.sh <kqmediareport> <folder to work in> <sample media>
set -e
tool=$1
cd "$2"
find "$3" -name '*.m[pk][4v]' -print0 >all.list
split -n l/3 -t '\0' all.list shard.
parallel --will-cite --keep-order "$tool" -0 --files-from {} -o {}.xml ::: shard.??
"$tool" --merge shard.??.xml -o merged.xml
"$tool" -0 --files-from all.list -o whole.xml
[ "$(grep -c '<FileInfo>' whole.xml)" = 4 ]
cmp merged.xml whole.xml
