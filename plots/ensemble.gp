# ensemble: the aggregate of a replica study (ensemble's DIR/aggregate.dat),
# drawn by scripts/ensemble-figure.sh with these variables set:
#   table  the aggregate table   figure  the PNG to write
#   study  the study, for the title
#   exact  the program's exact value, which the errors are measured against
#   blocks (optional) the jackknife's number of blocks B: its error has
#          B - 1 degrees of freedom, so the exact value lies within one
#          estimated error with probability P(|t_{B-1}| <= 1), which the
#          coverage panel draws beside the nominal 68 %
# Left: against N, log-log, the spread of the replicas' estimates, their RMS
# error, the mean of the program's own error estimate, and sigma/sqrt(N),
# the error of N independent samples. Right (with an own error): the fraction
# of replicas whose own error covers the exact value, with its 95 % Wilson
# band, against the nominal 68 % of one standard error. The right panel is
# drawn when the program has its own error estimate, that is when column 5
# holds numbers, not "nan".

# Lines starting with '#' (the study and the column names) are comments.
set datafile separator '\t'
stats table using 1 nooutput
last_n = STATS_max
stats table using (strcol(5) eq 'nan' ? 0 : 1) nooutput
own_error = STATS_sum > 0

if (!own_error) { figure_width = 900 }
load 'style.gp'
set output figure

heading = study . sprintf(', exact value %.7f', exact)
if (own_error) {
    set multiplot layout 1,2 title heading font ',18'
    set title 'spread of the estimates against the errors'
} else {
    set title heading font ',16'
}
set xlabel 'number of samples N'
set ylabel 'error'
set logscale xy
set format x '10^{%L}'
set format y '10^{%L}'
set xrange [1:last_n * 1.5]
set key bottom left
spread = "table using 1:(positive($3)) with linespoints ls 1 pt 7 ps 0.6 title 'spread of the replicas (std dev)'"
rms = "table using 1:(positive($4)) with lines ls 3 lw 1 title 'RMS error against exact'"
own = "table using 1:(positive($5)) with linespoints ls 2 pt 5 ps 0.6 title 'mean of the own error estimate'"
independent = "table using 1:(positive($9)) with lines ls 8 title 'σ/√N, independent samples'"
if (own_error) {
    plot @spread, @rms, @own, @independent
} else {
    plot @spread, @rms, @independent
}

# Macros are expanded when a line is read, so they are set before the block.
band = "table using 1:7:8 with filledcurves lc rgb band_colour title '95 % Wilson interval'"
measured = "table using 1:6 with linespoints ls 1 pt 7 ps 0.6 title 'coverage'"
if (exists('blocks')) {
    # P(|t| <= 1) for nu degrees of freedom: 1 - I_{nu/(nu+1)}(nu/2, 1/2).
    nu = blocks - 1
    t_coverage = 1 - ibeta(nu / 2.0, 0.5, nu / (nu + 1.0))
}
if (own_error) {
    set title 'coverage: own error holds the exact value'
    set ylabel 'fraction of replicas'
    unset logscale y
    set format y '%.1f'
    set yrange [0:1.05]
    set key bottom right
    set style fill transparent solid 0.45 noborder
    nominal = 0.6827
    if (exists('blocks')) {
        plot @band, @measured, nominal with lines ls 9 title 'nominal 68.3 % (one standard error)', \
             t_coverage with lines ls 3 dt 3 title sprintf('%.1f %%: t with %d degrees of freedom (%d blocks)', \
             100 * t_coverage, nu, blocks)
    } else {
        plot @band, @measured, nominal with lines ls 9 title 'nominal 68.3 % (one standard error)'
    }
    unset multiplot
}
