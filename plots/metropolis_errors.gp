# metropolis_errors: the Metropolis chain of <128 x^3 y^2 z> and its error bars.
chain_title = 'metropolis\_errors: ⟨128x^3y^2z⟩ of the Metropolis chain'
table_base = 10
load 'chain_error_bars.gp'
