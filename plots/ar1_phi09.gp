# ar1_phi09: an AR(1) chain with phi = 0.9, tau_int = 9.5, and its error bars.
chain_title = 'ar1\_phi09: AR(1) chain, φ = 0.9, τ_{int} = 9.5'
table_base = 2
load 'chain_error_bars.gp'
