#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Vestrana developers
# Whole-process search from files at rest: vestrana-cli search against the same
# ranking in the sqlite3 shell, measured in one run so the ratio is fair.
#   bash bench/whole-process.sh [N] [BUILD]     (N listings, default 1000000; BUILD default build-rel)
# Builds nothing: BUILD must hold vestrana-cli, vestrana-gendata and bench/bench_sqlite.
# The data folder (vestrana-gendata --count N) and the SQLite export (bench_sqlite:
# listings.db, query.sql, rows.tsv) go to ${SCRATCH:-/tmp/vestrana-wholeproc}/N and are
# reused when present. After one untimed warm-up of each (page cache warm), 5 interleaved
# rounds of (a) vestrana-cli search with bench_search's 14 wishes and (b) sqlite3 listings.db
# < query.sql, timed with hyperfine when installed, else date +%s%N. Prints both medians and
# the ratio cli/sqlite3.
# Same top 10 check: the shell prints positions; line P of rows.tsv holds listing P's result
# cells without the score, and these must equal the program's output rows, in order,
# without their last (score) column.
set -euo pipefail
N=${1:-1000000}
BUILD=${2:-build-rel}
ROUNDS=5
SCRATCH=${SCRATCH:-/tmp/vestrana-wholeproc}
CLI=$BUILD/vestrana-cli
SQLITE=${SQLITE:-sqlite3}
DIR=$SCRATCH/$N
DATA=$DIR/data
EXP=$DIR/sqlite
for f in "$CLI" "$BUILD/bench/vestrana-gendata" "$BUILD/bench/bench_sqlite"; do
    [[ -x $f ]] || { echo "missing $f (build it first)" >&2; exit 2; }
done
mkdir -p "$DATA"
if [[ ! -s $DATA/database.txt || ! -s $DATA/knows.txt ]]; then
    "$BUILD/bench/vestrana-gendata" --count "$N" "$DATA"
fi
if [[ ! -s $EXP/listings.db || ! -s $EXP/query.sql || ! -s $EXP/rows.tsv ]]; then
    "$BUILD/bench/bench_sqlite" "$DATA" "$EXP" || { echo "program and SQLite rank differently" >&2; exit 1; }
fi

cli=("$CLI" --data-dir "$DATA" search
    --wish 0=Соборный --wish 1=2 --wish 2=4 --wish 3=кирпичный --wish "4=ул. Садовая, д. 1"
    --wish 5=3000 --wish 6=54 --wish 7=32 --wish 8=8 --wish 9=Рынок
    --wish 11=раздельный --wish 12=есть --wish 13=Лестница)
runcli() { "${cli[@]}"; }
runsql() { "$SQLITE" "$EXP/listings.db" < "$EXP/query.sql"; }

# Warm-up (untimed) and the check that both give the same 10 listings.
runcli > "$DIR/cli.out"
runsql > "$DIR/sqlite.out"
awk -F'\t' 'BEGIN{OFS="\t"} {NF--; print}' "$DIR/cli.out" > "$DIR/cli.rows"
awk -F'|' 'NR==FNR {want[FNR]=$1; n=FNR; next} {row[FNR]=$0}
    END {for (i = 1; i <= n; ++i) print row[want[i]]}' "$DIR/sqlite.out" "$EXP/rows.tsv" > "$DIR/sqlite.rows"
if [[ $(wc -l < "$DIR/cli.rows") -eq 10 ]] && cmp -s "$DIR/cli.rows" "$DIR/sqlite.rows"; then
    echo "same top 10: yes (positions $(cut -d'|' -f1 "$DIR/sqlite.out" | tr '\n' ' '))"
else
    echo "same top 10: NO"; diff "$DIR/cli.rows" "$DIR/sqlite.rows" || true; exit 1
fi

median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
cli_times=() sql_times=()
if command -v hyperfine > /dev/null; then
    # One hyperfine run per round and command, alternating, so drift hits both alike.
    for ((r = 0; r < ROUNDS; ++r)); do
        for which in cli sql; do
            if [[ $which == cli ]]; then cmd=$(printf '%q ' "${cli[@]}"); else
                cmd="$(printf '%q' "$SQLITE") $(printf '%q' "$EXP/listings.db") < $(printf '%q' "$EXP/query.sql")"; fi
            # The shell's input needs a redirect, so it runs under hyperfine's shell (whose
            # start-up hyperfine measures and subtracts); the program runs without one.
            if [[ $which == cli ]]; then nosh=(-N); else nosh=(); fi
            hyperfine "${nosh[@]}" -r 1 -w 0 --style none --export-json "$DIR/hf.json" "$cmd" > /dev/null
            t=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["results"][0]["times"][0])' "$DIR/hf.json")
            if [[ $which == cli ]]; then cli_times+=("$t"); else sql_times+=("$t"); fi
        done
    done
else
    for ((r = 0; r < ROUNDS; ++r)); do
        t0=$(date +%s%N); runcli > /dev/null; t1=$(date +%s%N); runsql > /dev/null; t2=$(date +%s%N)
        cli_times+=("$(awk -v a="$t0" -v b="$t1" 'BEGIN{print (b-a)/1e9}')")
        sql_times+=("$(awk -v a="$t1" -v b="$t2" 'BEGIN{print (b-a)/1e9}')")
    done
fi
mc=$(printf '%s\n' "${cli_times[@]}" | median)
ms=$(printf '%s\n' "${sql_times[@]}" | median)
echo "N=$N rounds=$ROUNDS"
echo "vestrana-cli search: ${cli_times[*]} s; median $mc s"
echo "sqlite3 shell:       ${sql_times[*]} s; median $ms s"
awk -v c="$mc" -v s="$ms" 'BEGIN{printf "ratio cli/sqlite3: %.2f\n", c / s}'
