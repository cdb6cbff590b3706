// The replica study's aggregate from Python, as `ensemble collect` makes it.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl/filesystem.h>

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

// Aggregates the replica tables in `folder` as `ensemble collect` does (into
// folder/aggregate.dat) and returns that table at full precision: N as
// int64, the rest float64.
py::array collect_folder(const std::filesystem::path& folder)
{
    std::vector<AggregateRow> rows;
    {
        const py::gil_scoped_release release;
        // Held as `ensemble collect` holds it, so that no run adds to the
        // folder meanwhile; another holder is a RuntimeError naming it. A
        // folder that holds nothing of a study is not locked, so that no
        // lock file is left in it.
        std::optional<FolderLock> lock;
        if (holds_study(folder)) {
            lock.emplace(folder);
        }
        rows = collect_aggregate(folder).rows();
    }
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

}  // namespace

void add_study(py::module_& module)
{
    using namespace pybind11::literals;
    // A folder that is not a whole study is a ValueError.
    py::register_exception<StudyError>(module, "StudyError", PyExc_ValueError);
    module.def("collect", &collect_folder, "folder"_a,
               "Aggregates the replica tables in folder into folder/aggregate.dat, as `ensemble collect` does,\n"
               "and returns that table as a structured array, at full precision.");
}
