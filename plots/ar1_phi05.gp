# ar1_phi05: an AR(1) chain with phi = 0.5, tau_int = 1.5, and its error bars.
chain_title = 'ar1\_phi05: AR(1) chain, φ = 0.5, τ_{int} = 1.5'
table_base = 2
load 'chain_error_bars.gp'
