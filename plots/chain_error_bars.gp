# The figure of one chain of the coverage experiments (ar1_phi*, 
# metropolis_errors), loaded by their scripts after they set `chain_title`:
# the running mean with the Gamma method's error as a band, and every
# method's stated error (the half-width of an interval) against the actual
# error |mean - exact| on log-log axes. Rows where a method has nothing to
# say hold not-a-number, which gnuplot leaves out.

load 'style.gp'
set output figure

stats table using 1 nooutput
last_sample = STATS_max
half(lower, upper) = (upper - lower) / 2

set multiplot layout 1,2 title chain_title font ',18'

set title 'running mean ± Γ-method error'
set xlabel 'number of samples N'
set ylabel 'mean of the first N values'
set logscale x 2
set format x '2^{%L}'
if (table_base == 10) { set logscale x 10; set format x '10^{%L}' }
set xrange [1:last_sample * 1.5]
set key bottom right
set style fill transparent solid 0.45 noborder
plot table using 1:($2 - $8):($2 + $8) with filledcurves lc rgb band_colour title 'mean ± Γ-method error', \
     table using 1:2 with linespoints ls 1 pt 7 ps 0.6 title 'running mean', \
     exact with lines ls 9 title sprintf('exact %.7g', exact)

set title 'stated errors against the actual error'
set ylabel 'error of the mean'
set logscale y
set format y '10^{%L}'
set key top right
plot table using 1:(positive(abs($2 - exact))) with lines lc rgb '#9db7d5' lw 1 title '|mean − exact|', \
     table using 1:(positive($3)) with linespoints ls 8 pt 6 ps 0.7 title 'σ/√N', \
     table using 1:(positive($4)) with linespoints lc rgb '#7a4ea3' lw 1.6 pt 4 ps 0.7 title 'ten-block jackknife', \
     table using 1:(positive(half($5, $6))) with linespoints lc rgb '#b8860b' lw 1.6 pt 8 ps 0.7 title 'i.i.d. bootstrap', \
     table using 1:(positive($7)) with linespoints ls 3 pt 5 ps 0.7 title 'binning', \
     table using 1:(positive($8)) with linespoints ls 1 pt 7 ps 0.7 title 'Γ method', \
     table using 1:(positive(half($9, $10))) with linespoints ls 2 pt 9 ps 0.7 title 'block bootstrap'

unset multiplot
