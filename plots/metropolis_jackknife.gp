# metropolis_jackknife: the running Metropolis mean with its ten-block
# jackknife error as a band, and the jackknife error against the actual error
# on log-log axes. Row 1's error is not-a-number (block 9 is empty there);
# gnuplot reads it as undefined and leaves it out.

load 'style.gp'
set output figure

error(mean) = abs(mean - exact)

# The N^{-1/2} guide follows the geometric mean of the jackknife error
# times sqrt(N).
stats table using ($3 > 0 ? log($3) + 0.5 * log($1) : NaN) nooutput
# Drawn a factor 2 above, so that it does not hide the line it follows.
guide_scale = 2 * exp(STATS_mean)
stats table using 1 nooutput
last_sample = STATS_max

set multiplot layout 1,2 title 'metropolis\_jackknife: ⟨128x^3y^2z⟩ with a ten-block jackknife error' font ',18'

set title 'running estimate ± jackknife error'
set xlabel 'number of samples N'
set ylabel 'estimate after N samples'
set logscale x
set format x '10^{%L}'
set xrange [1:last_sample * 1.5]
set key bottom right
set style fill transparent solid 0.45 noborder
plot table using 1:($2 - $3):($2 + $3) with filledcurves lc rgb band_colour title 'mean ± jackknife error', \
     table using 1:2 with lines ls 1 title 'running mean', \
     exact with lines ls 9 title sprintf('exact %.7f', exact)

set title 'estimated against actual error'
set ylabel 'error'
set logscale y
set format y '10^{%L}'
set key bottom left
plot table using 1:(positive(error($2))) with lines lc rgb '#9db7d5' lw 1 title '|running mean − exact|', \
     table using 1:(positive($3)) with lines ls 2 lw 2 title 'jackknife error', \
     guide_scale * x**-0.5 with lines ls 8 title 'guide ∝ N^{-1/2}'

unset multiplot
