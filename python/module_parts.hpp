#pragma once

// The module's parts, each adding its functions and classes to it.
#include <pybind11/pybind11.h>

void add_experiments(pybind11::module_& module);  // run, experiment_names, Generator
void add_estimators(pybind11::module_& module);   // jackknife_error, running_mean, bootstrap_interval
void add_study(pybind11::module_& module);        // collect
void add_chain_errors(pybind11::module_& module); // chain_error, BinningAnalysis, ChainError
