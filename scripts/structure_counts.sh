#!/bin/sh
# Counts of the structure of the tree that a change of layout should lower (needs Universal Ctags,
# Debian's universal-ctags): includes of a higher layer of domain < flow < bodies, the methods and data
# members of FluidDomain, uses of the numbered scratch vectors, raw OpenMP pragmas, raw new and
# delete and released owning pointers in bodies/ and domain/, and functions of 60 lines or more.
#   scripts/structure_counts.sh [TREE]
cd "${1:-.}"
up=0
for f in domain/*.cpp domain/*.h; do n=$(grep -c '#include "\(flow\|bodies\)/' "$f"); up=$((up+n)); done
for f in flow/*.cpp flow/*.h; do n=$(grep -c '#include "bodies/' "$f"); up=$((up+n)); done
echo "upward includes (domain<flow<bodies): $up"
tags=$(ctags --c++-kinds=pfm --fields=+sK -f - --language-force=C++ domain/fluiddomain.h)
meth=$(echo "$tags" | grep -P "\tclass:FluidDomain" | grep -cP "\t(prototype|function)\t")
memb=$(echo "$tags" | grep -P "\tclass:FluidDomain" | grep -cP "\tmember\t")
echo "FluidDomain methods: $meth, data members: $memb"
# Uses only: not the enum that declares the ids, nor the named accessors beside it, nor comments.
s=$(grep -rhE "\b(Work1|Work2|Work3|VelWorkX|VelWorkY|VelWorkZ|PresWork)\b" domain flow bodies driver --include=*.cpp --include=*.h \
  --exclude=fluiddomain.h | grep -vE "^\s*//" | grep -oE "\b(Work1|Work2|Work3|VelWorkX|VelWorkY|VelWorkZ|PresWork)\b" | wc -l)
fw=$(grep -rhoE "FlowWork\(" domain flow bodies --include=*.cpp --include=*.h | wc -l)
echo "scratch-slot uses (Work1-3, VelWork*, PresWork): $s; FlowWork(k): $fw"
p=$(grep -rE "^\s*#pragma omp" --include=*.cpp --include=*.h domain flow bodies | wc -l)
pa=$(grep -rE "^\s*#pragma omp" --include=*.cpp --include=*.h foundation input mesh solvers domain flow bodies driver coupling | wc -l)
echo "raw #pragma omp: $p in domain/flow/bodies, $pa in the tree"
# Lines, not comments: "#include <new>" and "= delete" are no allocation.
for dir in bodies domain; do
  nw=$(grep -rE "\bnew\b" $dir --include=*.cpp --include=*.h | grep -vE "^[^:]*:\s*//|//.*\bnew\b|#include <new>" | wc -l)
  dl=$(grep -rE "\bdelete\b" $dir --include=*.cpp --include=*.h | grep -vE "^[^:]*:\s*//|//.*\bdelete\b|= delete" | wc -l)
  rl=$(grep -rE "\.release\(\)" $dir --include=*.cpp --include=*.h | grep -vE "^[^:]*:\s*//" | wc -l)
  echo "raw new / delete / .release() in $dir/: $nw / $dl / $rl"
done
ctags --c++-kinds=f --fields=+ne -R -f - --languages=C++ foundation input mesh solvers driver domain flow bodies coupling 2>/dev/null \
  | awk -F'\t' '{s=0;e=0;for(i=4;i<=NF;i++){if($i~/^line:/)s=substr($i,6);if($i~/^end:/)e=substr($i,5)} if(e-s+1>=60)c++} END{print "functions of 60 lines or more: " c+0}'
