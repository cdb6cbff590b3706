// The replica study's aggregate from Python, as `ensemble collect` makes it.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl/filesystem.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "aggregate.hpp"
#include "collect.hpp"
#include "module_parts.hpp"
#include "study.hpp"
#include "study_folder.hpp"

namespace py = pybind11;

namespace {

// The names of the aggregate's columns, from its header line "# N\tmean...".
std::vector<std::string> column_names()
{
    std::istringstream header(Aggregate::column_header() + 2);
    std::vector<std::string> names;
    for (std::string name; std::getline(header, name, '\t');) {
        names.push_back(name.substr(0, name.find('\n')));
    }
    return names;
}

// The aggregate of the replica tables in `folder`, collected as `ensemble
// collect` does (into folder/aggregate.dat and coverage.tsv) without
// Python's lock. The folder's own lock is held as `ensemble collect` holds
// it, so that no run adds to the folder meanwhile; another holder is a
// RuntimeError naming it. A folder that holds nothing of a study is not
// locked, so that no lock file is left in it.
Aggregate collected(const std::filesystem::path& folder)
{
    const py::gil_scoped_release release;
    std::optional<FolderLock> lock;
    if (holds_study(folder)) {
        lock.emplace(folder);
    }
    return collect_aggregate(folder);
}

// Aggregates the replica tables in `folder` and returns aggregate.dat's
// table at full precision: N as int64, the rest float64.
py::array collect_folder(const std::filesystem::path& folder)
{
    const std::vector<AggregateRow> rows = collected(folder).rows();
    const std::vector<std::string> names = column_names();
    if (names.size() != AggregateRow{}.values.size() + 1) {
        throw std::logic_error("the aggregate's header does not name its columns");
    }
    py::list fields;
    for (std::size_t c = 0; c < names.size(); ++c) {
        fields.append(py::make_tuple(names[c], c == 0 ? "<i8" : "<f8"));
    }
    py::array table(py::dtype::from_args(fields), std::vector<py::ssize_t>{static_cast<py::ssize_t>(rows.size())});
    auto* record = static_cast<char*>(table.mutable_data());
    for (const AggregateRow& row : rows) {
        std::memcpy(record, &row.n, sizeof row.n);
        std::memcpy(record + sizeof row.n, row.values.data(), sizeof row.values);
        record += sizeof row.n + sizeof row.values;
    }
    return table;
}

// Aggregates the replica tables in `folder` and returns coverage.tsv's rows
// at full precision: the method as text, N and replicas as int64, the rest
// float64.
py::array coverage_of_folder(const std::filesystem::path& folder)
{
    using namespace pybind11::literals;
    const std::vector<CoverageRow> rows = collected(folder).coverage_rows();
    std::size_t longest = 1;
    py::list records;
    for (const CoverageRow& row : rows) {
        longest = std::max(longest, row.method.size());
        records.append(py::make_tuple(row.method, row.n, row.replicas, row.coverage, row.wilson.low, row.wilson.high,
                                      row.mean_error_over_spread, row.mean_error, row.spread, row.rms_error));
    }
    py::list fields;
    fields.append(py::make_tuple("method", "<U" + std::to_string(longest)));
    for (const char* name : {"N", "replicas"}) {
        fields.append(py::make_tuple(name, "<i8"));
    }
    for (const char* name : {"coverage", "wilson_low", "wilson_high", "mean_error_over_spread", "mean_error", "spread",
                             "rms_error"}) {
        fields.append(py::make_tuple(name, "<f8"));
    }
    return py::module_::import("numpy").attr("array")(records, "dtype"_a = py::dtype::from_args(fields));
}

}  // namespace

void add_study(py::module_& module)
{
    using namespace pybind11::literals;
    // A folder that is not a whole study is a ValueError.
    py::register_exception<StudyError>(module, "StudyError", PyExc_ValueError);
    module.def("collect", &collect_folder, "folder"_a,
               "Aggregates the replica tables in folder into folder/aggregate.dat, as `ensemble collect` does,\n"
               "and returns that table as a structured array, at full precision.");
    module.def("coverage", &coverage_of_folder, "folder"_a,
               "Aggregates the replica tables in folder as `ensemble collect` does and returns coverage.tsv:\n"
               "for each error method of the program and each N, how often its error bar held the exact\n"
               "value, with the 95 % Wilson band, as a structured array at full precision.");
}
