# montecarlo3d_weighted: the weighted observable over the unit cube. Its
# weight divides by the rounded 0.416538, so it converges to 128 I1 I2 I3 /
# 0.416538, a hair above the Metropolis expectation.
experiment = 'montecarlo3d\_weighted'
integrand = 'uniform Monte Carlo for ∭ 128x^3y^2z e^{−(x^2+y^2+z^2)} / 0.416538'
samples(count) = count
load 'uniform_montecarlo.gp'
