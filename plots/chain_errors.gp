# chain_errors --plot: the two things to look at before trusting an error
# bar from a correlated chain.
#   Left: the binning error of the mean against the level k (bins of 2^k
#   values). It climbs while the bins are shorter than the correlations and
#   levels off into a plateau once they are much longer; the chosen level
#   should sit on the plateau, and the Γ-method's error should lie on it too.
#   Right: τ_int(W) = 1/2 + Σ_{t=1}^{W} ρ(t) against the summation window W.
#   It rises to a plateau and then wanders off as noise accumulates; the
#   chosen window should be where it has just levelled off.
# chain_errors runs it with gnuplot after setting `data` (two blocks: level,
# bin size, error, its error, τ_int of the level; then W, τ_int(W), its
# error), `figure`, `title_text`, `chosen_level`, `binning_error` and its
# error (the level's, corrected for the remaining bias where that applies),
# `chosen_window`, `tau_int` and `gamma_error`.

if (!exists('data') || !exists('figure')) {
    print 'chain_errors.gp is run by chain_errors --plot, which sets the data and the figure'
    exit status 2
}

set encoding utf8
set terminal pngcairo enhanced size 1600,650 font 'DejaVu Sans,15' linewidth 1.5
set output figure
set datafile separator '\t'

set grid xtics ytics lc rgb '#e4e4e4' lw 1
set border 3 lc rgb '#404040'
set tics nomirror out scale 0.6
set key top left box opaque samplen 2.5 spacing 1.15 width 1

data_colour  = '#1f5fa8'
data2_colour = '#d9531e'
band_colour  = '#a9c8ec'
guide_colour = '#e07b00'

set multiplot layout 1,2 title title_text font ',17'

set title 'binning: error of the mean against the level'
set xlabel 'level k (bins of 2^k values)'
set ylabel 'error of the mean'
set xrange [-0.5:*]
set yrange [0:*]
set arrow 1 from chosen_level, graph 0 to chosen_level, graph 1 nohead lc rgb guide_colour lw 2 dt (8,6)
plot data index 0 using 1:3:4 with yerrorbars lc rgb data_colour pt 7 ps 0.8 title 'error at level k', \
     data index 0 using 1:3 with lines lc rgb data_colour lw 1.2 notitle, \
     '+' using (chosen_level):(binning_error):(binning_error_error) every ::0::0 with yerrorbars \
         lc rgb guide_colour pt 7 ps 1.6 lw 2 title sprintf('chosen level %d, corrected', chosen_level), \
     (exists('gamma_error') ? gamma_error : NaN) with lines lc rgb data2_colour lw 1.6 dt 2 title 'Γ-method error'
unset arrow 1

set title 'Γ-method: τ_{int} against the summation window'
set xlabel 'window W'
set ylabel 'τ_{int}(W)'
set xrange [0:*]
set yrange [0:*]
set arrow 2 from chosen_window, graph 0 to chosen_window, graph 1 nohead lc rgb guide_colour lw 2 dt (8,6)
set style fill transparent solid 0.5 noborder
set key bottom right
plot data index 1 using 1:($2 - $3):($2 + $3) with filledcurves lc rgb band_colour title '± its error', \
     data index 1 using 1:2 with lines lc rgb data_colour lw 1.6 title 'τ_{int}(W)', \
     tau_int with lines lc rgb data2_colour lw 1.6 dt 2 title sprintf('τ_{int} = %.3g at the chosen window W = %d', tau_int, chosen_window)

unset multiplot
