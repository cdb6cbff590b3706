# metropolis_bootstrap: the mean of the growing Metropolis chain with its
# bootstrap interval (17th and 85th of 100 sorted resample means) as a band,
# and the interval's half-width against the chain length on log-log axes.
# Row 1 holds a single point, so its interval has width 0 and is left out of
# the log plot.

load 'style.gp'
set output figure

half_width(lower, upper) = (upper - lower) / 2
error(mean) = abs(mean - exact)

# The N^{-1/2} guide follows the geometric mean of the half-width times
# sqrt(N).
stats table using (h = half_width($3, $4), h > 0 ? log(h) + 0.5 * log($1) : NaN) nooutput
# Drawn a factor 2 above, so that it does not hide the line it follows.
guide_scale = 2 * exp(STATS_mean)
stats table using 1 nooutput
last_length = STATS_max

set multiplot layout 1,2 title 'metropolis\_bootstrap: ⟨128x^3y^2z⟩ with a 100-resample bootstrap interval' font ',18'

set title 'chain mean and bootstrap interval (about 68 %)'
set xlabel 'chain length N'
set ylabel 'mean over the chain'
set logscale x
set format x '10^{%L}'
set xrange [1:last_length * 1.5]
set key top right
set style fill transparent solid 0.45 noborder
plot table using 1:3:4 with filledcurves lc rgb band_colour title 'bootstrap interval', \
     table using 1:2 with lines ls 1 title 'chain mean', \
     exact with lines ls 9 title sprintf('exact %.7f', exact)

set title 'interval half-width against actual error'
set ylabel 'error'
set logscale y
set format y '10^{%L}'
set key bottom left
plot table using 1:(positive(error($2))) with lines lc rgb '#9db7d5' lw 1 title '|chain mean − exact|', \
     table using 1:(positive(half_width($3, $4))) with lines ls 2 lw 2 title 'half-width of the interval', \
     guide_scale * x**-0.5 with lines ls 8 title 'guide ∝ N^{-1/2}'

unset multiplot
