# metropolis: the running mean of 128 x^3 y^2 z along the Metropolis chain,
# the chain's y coordinate over its first samples, and the histogram of all
# y values against the density the chain should sample in y. The weight
# factorises, so y alone follows e^{-y^2} / Z on [0, 1] with
# Z = int_0^1 e^{-t^2} dt.

# The marginal density of y under the weight: e^{-y^2} / Z.
gauss_normalisation = sqrt(pi) / 2 * erf(1)
figure_width = 1800
figure_height = 650
load 'style.gp'
set output figure

stats table using 1 nooutput
rows = STATS_records
last_sample = STATS_max

set multiplot layout 1,3 title 'metropolis: ⟨128x^3y^2z⟩ under the weight e^{−(x^2+y^2+z^2)} on the unit cube, one value per 1000 updates' font ',17'

set title 'running estimate'
set xlabel 'number of samples N'
set ylabel 'estimate after N samples'
set logscale x
set format x '10^{%L}'
set xrange [1:last_sample * 1.5]
set key bottom right
plot table using 1:2 with lines ls 1 title 'running mean', \
     exact with lines ls 9 title sprintf('exact %.7f', exact)

trace_length = 300
set title sprintf('chain trace: y over the first %d samples', trace_length)
unset logscale x
set format x '%g'
set xrange [0:trace_length]
set yrange [0:1]
set xlabel 'sample number'
set ylabel 'y of the current point'
unset key
plot table using 1:($1 <= trace_length ? $3 : NaN) with linespoints ls 1 lw 0.8 pt 7 ps 0.5

bin_width = 0.025
bin(y) = bin_width * (floor(y / bin_width) + 0.5)
set title sprintf('distribution of y over all %d samples', rows)
set xlabel 'y'
set ylabel 'probability density'
set xrange [0:1]
set yrange [0:1.8]
set key top right Left reverse width -7
set style fill solid 1.0 border lc rgb 'white'
set boxwidth bin_width
set samples 200
plot table using (bin($3)):(1.0 / (rows * bin_width)) smooth frequency with boxes lc rgb '#7fa7d6' title 'histogram of y along the chain', \
     exp(-x**2) / gauss_normalisation with lines lc rgb exact_colour lw 2.2 title sprintf('e^{−y^2} / Z,  Z = ∫_0^1 e^{−t^2} dt = %.4f', gauss_normalisation)

unset multiplot
