# Two panels for a uniform Monte Carlo table (count, running mean): the
# running mean against the number of samples with the exact value, and the
# absolute error on log-log axes with an N^{-1/2} guide through the errors.
#
# Set by the figure step: exact, table and figure. Set by the caller:
# experiment (title), integrand (as text), optionally exact_text (how to
# write the exact value), and samples(count), the number of samples behind a
# row.

load 'style.gp'
exact_label = exists('exact_text') ? 'exact '.exact_text : sprintf('exact %.7f', exact)
set output figure

error(count, mean) = abs(mean - exact)

# The guide c N^{-1/2} passes through the geometric mean of error * sqrt(N)
# over all rows with a nonzero error.
stats table using (e = error($1, $2), e > 0 ? log(e) + 0.5 * log(samples($1)) : NaN) nooutput
guide_scale = exp(STATS_mean)
stats table using (samples($1)) nooutput
last_samples = STATS_max

set multiplot layout 1,2 title experiment.': '.integrand font ',18'

set title 'running estimate'
set xlabel 'number of samples N'
set ylabel 'estimate after N samples'
set logscale x
set format x '10^{%L}'
set xrange [1:last_samples * 1.5]
set key bottom right
plot table using (samples($1)):2 with lines ls 1 title 'running mean', \
     exact with lines ls 9 title exact_label

set title 'absolute error'
set ylabel '|estimate − exact|'
set logscale y
set format y '10^{%L}'
set key bottom left
plot table using (samples($1)):(positive(error($1, $2))) with lines ls 1 lw 1 title '|running mean − exact|', \
     guide_scale * x**-0.5 with lines ls 8 title 'guide ∝ N^{-1/2}'

unset multiplot
