# The time-out overshoot of each contender as one picture: a bar per contender at its median,
# a whisker up to its p99, on a logarithmic scale (one peer's figure is seconds, the others'
# fractions of a millisecond), with quenlex's two goals as lines.
#
#   gnuplot -e "data='FILE.overshoot.dat'; out='FILE.png'; machine='...'" bench/overshoot.gp
#
# The data file is the one quenlex_bench --csv FILE writes beside FILE.csv.
if (!exists("machine")) machine = ""

set terminal pngcairo size 1200,640 font "sans,11"
set output out
set title "Read time-out overshoot: how long past its configured time-out a read returns\n{/*0.85 ".machine."}"
set ylabel "overshoot (ms), log scale"
set xlabel "bar: median; whisker: up to the p99"
set logscale y
set yrange [0.01:10000]
set format y "%g"
set grid ytics mytics lc rgb "#dddddd"
set key top left Left reverse box opaque
set style data histogram
set style histogram errorbars gap 1.5 lw 1.5
set style fill solid 0.85 border -1
set boxwidth 0.9
set xtics nomirror
set bars 2

set arrow 1 from graph 0, first 0.5 to graph 1, first 0.5 nohead dt 2 lw 1.5 lc rgb "#2060c0" front
set label 1 "quenlex's goal: median <= 0.5 ms" at graph 0.01, first 0.5 left offset 0,0.7 tc rgb "#2060c0" front
set arrow 2 from graph 0, first 2 to graph 1, first 2 nohead dt 3 lw 1.5 lc rgb "#c02020" front
set label 2 "quenlex's goal: p99 <= 2 ms" at graph 0.01, first 2 left offset 0,0.7 tc rgb "#c02020" front

# Columns: row, then median and p99 of each contender in turn. The whisker runs from the
# median (low) to the p99 (high).
plot data using 2:2:3:xtic(1) title columnheader(2) lc rgb "#9a9a9a", \
     ''   using 4:4:5 title columnheader(4) lc rgb "#2a7de1", \
     ''   using 6:6:7 title columnheader(6) lc rgb "#f0a030", \
     ''   using 8:8:9 title columnheader(8) lc rgb "#50a050"
