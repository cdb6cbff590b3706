# quadrature: the absolute error of the rectangle, trapezoid and
# Simpson-weighted estimates of the integral of sin(pi x) over [0, 1] against
# the number of intervals n, on log-log axes.
#
# All three rules converge like n^{-2} here. The rectangle and trapezoid sums
# stop one interval short of b, and that missing interval, of area about
# pi h^2 / 2 because sin(pi x) vanishes linearly at 1, is itself of order
# h^2. The Simpson-weighted windows overlap and each is weighted by one step,
# so every inner interval is counted twice by windows of half weight while
# the first and the last ones are not: again an h^2 error, with no trace of
# the h^4 that Simpson's rule proper would give.

figure_width = 1100
figure_height = 800
load 'style.gp'
set output figure

error(v) = abs(v - exact)

# The table prints six decimals, so errors below half a unit of the last
# digit are rounding, not the rule.
resolution = 5e-7

# The n^{-2} guide passes through the geometric mean of error * n^2 of the
# three rules, over the rows past the first few and well above the rounding.
asymptotic(n, e) = (n >= 8 && e > 100 * resolution) ? log(e) + 2 * log(n) : NaN
stats table using (asymptotic($1, error($2))) nooutput
sum_log = STATS_sum; count = STATS_records
stats table using (asymptotic($1, error($3))) nooutput
sum_log = sum_log + STATS_sum; count = count + STATS_records
stats table using (asymptotic($1, error($4))) nooutput
sum_log = sum_log + STATS_sum; count = count + STATS_records
order2 = exp(sum_log / count)
# The n^{-4} reference leaves from the same point at n = 8.
order4 = order2 * 8**2

set title 'quadrature: error of three rules for ∫_0^1 sin(πx) dx = 2/π' font ',17'
set xlabel 'number of intervals n'
set ylabel '|estimate − 2/π|'
set logscale xy 2
set logscale y 10
set xrange [1.5:12000]
set yrange [1e-8:2]
set xtics (2, 8, 32, 128, 512, 2048, 8192)
set format y '10^{%L}'
set key top right Left reverse

plot table using 1:(positive(error($2))) with linespoints ls 1 pt 7 ps 1.3 title 'rectangle', \
     table using 1:(positive(error($3))) with linespoints ls 2 pt 5 ps 1.2 title 'trapezoid', \
     table using 1:(positive(error($4))) with linespoints ls 3 pt 9 ps 1.5 title 'Simpson-weighted', \
     order2 * x**-2 with lines ls 8 title 'order 2: ∝ n^{-2} (all three rules)', \
     (x >= 8 ? order4 * x**-4 : NaN) with lines lc rgb '#999999' lw 1.5 dt 3 title 'n^{-4}, Simpson''s textbook order (not reached)', \
     resolution with lines lc rgb '#bbbbbb' lw 1.5 dt 1 title 'rounding: the table prints 6 decimals'
