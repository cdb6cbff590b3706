# montecarlo3d: the integral of 3x^2 y + 2z^3 over the unit cube.
experiment = 'montecarlo3d'
integrand = 'uniform Monte Carlo for ∭ (3x^2y + 2z^3) over the unit cube'
exact_text = '1'
samples(count) = count
load 'uniform_montecarlo.gp'
