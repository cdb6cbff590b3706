# ar1_phi099: an AR(1) chain with phi = 0.99, tau_int = 99.5, and its error bars.
chain_title = 'ar1\_phi099: AR(1) chain, φ = 0.99, τ_{int} = 99.5'
table_base = 2
load 'chain_error_bars.gp'
