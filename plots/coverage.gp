# coverage: how often each of a program's error bars holds the exact value,
# from a replica study (ensemble coverage, DIR/coverage.tsv), which ensemble
# draws after setting
#   data        one block per error method (index 0, 1, ...), each the
#               method's rows of coverage.tsv: method, N, replicas, coverage,
#               its Wilson band (low, high), mean error over spread, ...
#   methods     the methods' names in the order of the blocks, space-separated
#   replicas    the study's replica count R
#   figure, title_text
# Top: against N, the fraction of replicas whose error bar holds the exact
# value, each method with its 95 % Wilson band as error bars. A perfect
# standard error holds it with probability 68.27 %; with R replicas its
# measured coverage would fall within 68.27 % +- 1.96 sqrt(p (1 - p) / R),
# the shaded band. The ten-block jackknife's error has 9 degrees of freedom,
# so an honest one holds the exact value with P(|t_9| <= 1) = 65.7 %.
# Bottom: each method's mean error over the spread (sample standard
# deviation) of the replicas' estimates: 1 for an error bar of the right size.

if (!exists('data') || !exists('figure') || !exists('methods') || !exists('replicas')) {
    print 'coverage.gp is run by ensemble coverage, which sets the data, the methods and the figure'
    exit status 2
}

set encoding utf8
set terminal pngcairo enhanced size 1000,800 font 'DejaVu Sans,13' linewidth 1.5
set output figure
set datafile separator '\t'

set grid xtics ytics mxtics lc rgb '#e4e4e4' lw 1, lc rgb '#f2f2f2' lw 1
set border 3 lc rgb '#404040'
set tics nomirror out scale 0.6
set key outside right top Left reverse box opaque samplen 2.5 spacing 1.15 width 1

band_colour  = '#a9c8ec'
exact_colour = '#111111'
# One colour per method, in the order of the columns.
method_colours = '#1f5fa8 #d9531e #2e8b3a #8e44ad #b8860b #17becf #7f7f7f #c2185b'
colour(i) = word(method_colours, (i - 1) % words(method_colours) + 1)
# And one point shape each, so that methods that agree (sigma/sqrt(N) and the
# i.i.d. bootstrap) stay told apart where their lines lie on each other.
method_points = '7 4 9 6 5 12 11 8'
point(i) = int(word(method_points, (i - 1) % words(method_points) + 1))
method_count = words(methods)

stats data using 2 nooutput
set logscale x
set xrange [STATS_min / 1.5 : STATS_max * 1.5]
set format x '10^{%L}'
set lmargin 10
set rmargin 36

nominal = 0.6827
perfect_half_width = 1.959964 * sqrt(nominal * (1 - nominal) / replicas)
t9_coverage = 0.6574
has_jackknife = strstrt(' ' . methods . ' ', ' jackknife ') > 0

set multiplot layout 2,1 title title_text font ',16'

set title 'coverage: the error bar holds the exact value'
set xlabel 'number of samples N'
set ylabel 'fraction of replicas'
set yrange [0:1.05]
set format y '%.1f'
set style fill transparent solid 0.45 noborder
if (has_jackknife) {
    plot '+' using 1:(nominal - perfect_half_width):(nominal + perfect_half_width) with filledcurves \
             lc rgb band_colour title sprintf('perfect, %d replicas (95 %%)', replicas), \
         nominal with lines lc rgb exact_colour lw 1.6 title 'nominal 68.27 %', \
         t9_coverage with lines lc rgb '#555555' lw 2 dt (8,6) title 'jackknife, 10 blocks: 65.7 %', \
         for [i=1:method_count] data index (i - 1) using 2:4:5:6 with yerrorlines lc rgb colour(i) pt point(i) ps 0.9 \
             title word(methods, i) noenhanced
} else {
    plot '+' using 1:(nominal - perfect_half_width):(nominal + perfect_half_width) with filledcurves \
             lc rgb band_colour title sprintf('perfect, %d replicas (95 %%)', replicas), \
         nominal with lines lc rgb exact_colour lw 1.6 title 'nominal 68.27 %', \
         for [i=1:method_count] data index (i - 1) using 2:4:5:6 with yerrorlines lc rgb colour(i) pt point(i) ps 0.9 \
             title word(methods, i) noenhanced
}

set title 'size: mean error over the spread of the estimates'
set ylabel 'mean error / spread'
set yrange [0:*]
set format y '%.1f'
plot 1 with lines lc rgb exact_colour lw 1.6 title 'right size', \
     for [i=1:method_count] data index (i - 1) using 2:7 with linespoints lc rgb colour(i) pt point(i) ps 0.9 \
         title word(methods, i) noenhanced

unset multiplot
