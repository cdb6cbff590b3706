# Shared look of every figure, loaded first by each figure script. The
# figure step (scripts/draw-figures.sh) runs gnuplot in the output folder
# with this folder in GNUPLOT_LIB and passes the exact values, computed beside
# the test functions in C++, as variables: no figure carries a pasted constant.

set encoding utf8

# Every figure is this size unless its script sets another before loading
# this file.
if (!exists('figure_width')) { figure_width = 1600 }
if (!exists('figure_height')) { figure_height = 700 }
set terminal pngcairo enhanced size figure_width,figure_height font 'DejaVu Sans,15' linewidth 1.5

# The tables are tab-separated with no header.
set datafile separator '\t'

set grid xtics ytics mxtics mytics lc rgb '#e4e4e4' lw 1, lc rgb '#f2f2f2' lw 1
set border 3 lc rgb '#404040'
set tics nomirror out scale 0.6
set key top right box opaque samplen 2.5 spacing 1.15 width 1

# One colour per role, the same in every figure.
data_colour  = '#1f5fa8'
data2_colour = '#d9531e'
data3_colour = '#2e8b3a'
band_colour  = '#a9c8ec'
exact_colour = '#111111'
guide_colour = '#e07b00'

set style line 1 lc rgb data_colour  lw 1.6
set style line 2 lc rgb data2_colour lw 1.6
set style line 3 lc rgb data3_colour lw 1.6
set style line 9 lc rgb exact_colour lw 1.6 dt 2
set style line 8 lc rgb guide_colour lw 2.5 dt (8,6)

# A value that log axes can show: zero (or a negative, or not-a-number, as the
# jackknife's first row) becomes undefined and the point is left out.
positive(v) = (v > 0) ? v : NaN

# Every figure needs its exact value, its table and its file from the run
# script (the exact values come from experiments.tsv).
if (!exists('exact') || !exists('table') || !exists('figure')) {
    print 'figure scripts need the exact values, table and figure: run them through scripts/draw-figures.sh or scripts/ensemble-figure.sh'
    exit status 2
}
