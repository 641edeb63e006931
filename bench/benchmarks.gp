# docs/benchmarks.svg from the data quarn_bench writes (--plot-data):
#     gnuplot -e "datafile='...'; outfile='...'" bench/benchmarks.gp
# Columns: log2 N, N, then mflops per library, each forward beside its
# inverse. One colour per library; forward solid, inverse dashed.

set terminal svg size 900,560 dynamic enhanced font "sans,12" background "white"
set output outfile

set title "Real FFT of float data, one thread (higher is faster)"
set xlabel "N"
set ylabel "mflops = 2.5 N log_2(N) / ns × 1000"
set xtics 2 format "2^{%g}"
set grid xtics ytics lc "#dddddd"
set key outside right top box opaque
set yrange [0:*]

set linetype 1 lc "#d62728" lw 2 pt 7 ps 0.7
set linetype 2 lc "#1f77b4" lw 2 pt 5 ps 0.7
set linetype 3 lc "#2ca02c" lw 2 pt 9 ps 0.7
set linetype 4 lc "#9467bd" lw 2 pt 11 ps 0.7

ncols = 10
library(i) = (i - 3) / 2 + 1
dashes(i) = (i % 2 == 1) ? 1 : 2
plot for [i=3:ncols] datafile using 1:i with linespoints \
    lt library(i) dt dashes(i) title columnheader(i)
