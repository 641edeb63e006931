# docs/benchmarks.svg from bench/report.py's data files, one panel per sample
# type and direction: log2 N, then the speed of each of quarn's paths (solid)
# and of each peer (dashed), NaN where it did not run. The file "columns"
# names them all, so that each keeps its colour in every panel.
#     gnuplot -e "dir='...'; outfile='...'" bench/benchmarks.gp

set terminal svg size 1100,800 dynamic enhanced font "sans,11" background "white"
set output outfile
set datafile missing "NaN"
set multiplot layout 2,2 title "Real FFT, one thread (higher is faster)"
set xlabel "N"
set ylabel "mflops = 2.5 N log_2(N) / ns × 1000"
set xtics 2 format "2^{%g}"
set grid xtics ytics lc "#dddddd"
set key top left font ",9" noenhanced
set yrange [0:*]
COLOURS = "#7f7f7f #1f77b4 #2ca02c #d62728 #8c564b #9467bd #ff7f0e #000000 #17becf #bcbd22"
all = system("cat " . dir . "/columns")
dash(i) = (word(head, i)[1:5] eq "quarn") ? 1 : 2
colour(i) = word(COLOURS, sum [j = 1:words(all)] ((word(all, j) eq word(head, i)) ? j : 0))
do for [panel in "float-forward float-backward double-forward double-backward"] {
    file = dir . "/" . panel . ".dat"
    head = system("head -1 " . file)
    set title panel
    plot for [i=2:words(head)] file using 1:i with linespoints pt 7 ps 0.5 lw 2 lc rgb colour(i) \
        dt dash(i) title columnheader(i)
}
unset multiplot
