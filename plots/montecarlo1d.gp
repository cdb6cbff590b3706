# montecarlo1d: the integral of sin(pi x) over [0, 1]. The program divides by
# its counter, which starts at 2, so the row with count n holds n - 1 samples.
experiment = 'montecarlo1d'
integrand = 'uniform Monte Carlo for ∫_0^1 sin(πx) dx'
exact_text = '2/π'
samples(count) = count - 1
load 'uniform_montecarlo.gp'
