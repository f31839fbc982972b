#!/bin/sh
# Fails when the program tests an archiver index against an archiver's
# number ("index == 11", "13 != row.index", "file_archiver == kTarIndex")
# anywhere but the catalogue: such a fact belongs in the archiver's row.
# Usage: no_bare_archiver_tests.sh SOURCE_TREE
set -u
tree=${1:?usage: $0 SOURCE_TREE}

name='[A-Za-z_.>-]*(index|archiver)[A-Za-z_]*'
number='(-?[1-9][0-9]*|(core::)?k[A-Za-z]*(Index|SplitSet))'
op='[[:space:]]*(==|!=|<=|>=|<|>)[[:space:]]*'
pattern="$name$op$number\b|\b$number$op$name"

bare() { grep -Ei "$pattern"; }

# The pattern itself: these must be caught, and these must pass.
for line in 'if (index == 8) wildcard.clear();' 'index == 11 || index == kSplitSet' \
            'return 13 != row.index;' 'if (file_archiver >= 10)' 'archiver == core::kTarIndex'; do
    printf '%s\n' "$line" | bare >/dev/null || { echo "check is broken: misses: $line"; exit 2; }
done
for line in 'setCurrentIndex(found >= 0 ? found : 0);' 'if (row.kind == RowKind::kArchiver)' \
            'Catalogue()[static_cast<size_t>(index)]' 'if (identified == kNotExamined) return;' \
            'index < core::kCatalogueSize'; do
    printf '%s\n' "$line" | bare >/dev/null && { echo "check is broken: flags: $line"; exit 2; }
done

found=$(grep -rnE --include='*.cpp' --include='*.h' "" "$tree/app" |
        grep -v "^$tree/app/core/catalogue\.\(h\|cpp\):" | bare)
if [ -n "$found" ]; then
    echo "Archiver numbers tested outside the catalogue; give the row a field instead:"
    echo "$found"
    exit 1
fi
