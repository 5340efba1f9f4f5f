# Draws delay_accuracy's raw rows: how late each wait ended, one colour a
# method, grouped by the wait asked for.
# Usage: gnuplot -e "csv='rows.csv'; png='plot.png'" bench/plot.gp
# The methods, quoted, in the order of their index; the waits likewise.
methods = system(sprintf("tail -n +2 '%s' | cut -d, -f1,3 | sort -t, -k1,1n -u | cut -d, -f2 | sed 's/.*/\"&\"/' | tr '\\n' ' '", csv))
waits = system(sprintf("tail -n +2 '%s' | cut -d, -f2,4 | sort -t, -k1,1n -u | cut -d, -f2 | tr '\\n' ' '", csv))
group = words(methods) + 1

set terminal pngcairo size 1400,750 font ",11" noenhanced
set output png
set datafile separator ","
set title "Real elapsed minus requested, each wait one point (points beyond the range are left out)"
set xlabel "requested wait (ms)"
set ylabel "late (µs); negative: ended early"
set yrange [-2100:1000]
set xrange [-1:words(waits) * group]
set xtics () scale 0
set for [i=1:words(waits)] xtics add (word(waits, i) (i - 1) * group + (group - 2) / 2.0)
set grid ytics
set key outside right
plot for [m=0:words(methods) - 1] csv skip 1 \
     using ($2 * group + m + 0.8 * rand(0) - 0.4):($1 == m ? $5 : NaN) \
     with points pt 7 ps 0.4 title word(methods, m + 1)
