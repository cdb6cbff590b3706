# suite_experiment_list(LIST <tsv> OUTPUT <cpp> FUNCTION <name> [PROGRAMS <variable>])
#
# Reads a list of experiments (the format experiments.tsv's header
# describes) and writes <cpp>, which defines
#   const std::vector<Experiment>& <name>();
# with one typed description per line. Each line names the function that
# runs it; the file declares it, so a line whose function is missing fails
# to link. PROGRAMS receives the experiments' names. Editing the list
# reconfigures.
function(suite_experiment_list)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "LIST;OUTPUT;FUNCTION;PROGRAMS" "")
  set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${arg_LIST})
  file(STRINGS ${arg_LIST} lines)
  set(option_words "seed|rows|updates-per-sample|threads|output")
  # The words of the columns field and the roles they stand for; the first
  # column takes one of the five counts.
  set(role_samples sample_count)
  set(role_counter counter)
  set(role_intervals interval_count)
  set(role_chain_points chain_point_count)
  set(role_checkpoints checkpoint_count)
  set(role_estimate estimate)
  set(role_rule rule_estimate)
  set(role_error standard_error)
  set(role_lower interval_lower)
  set(role_upper interval_upper)
  set(role_trace trace)

  set(programs)
  set(declarations "")
  set(entries "")
  foreach(line IN LISTS lines)
    if(line STREQUAL "" OR line MATCHES "^#")
      continue()
    endif()
    # A semicolon would split CMake's lists: no field may hold one.
    string(REPLACE "\t" ";" fields "${line}")
    list(LENGTH fields count)
    if(NOT count EQUAL 12)
      message(FATAL_ERROR "${arg_LIST}: expected 12 tab-separated fields, found ${count}: ${line}")
    endif()
    list(GET fields 0 name)
    list(GET fields 1 table)
    list(GET fields 2 output)
    list(GET fields 3 rows)
    list(GET fields 4 max_rows)
    list(GET fields 5 options)
    list(GET fields 6 columns)
    list(GET fields 7 exact)
    list(GET fields 8 sigma)
    list(GET fields 9 cores)
    list(GET fields 10 function)
    list(GET fields 11 about)
    if(NOT name MATCHES "^[a-z][a-z0-9_]*$" OR NOT output MATCHES "^(file|stdout)$" OR NOT rows MATCHES "^[1-9][0-9]*$"
       OR NOT max_rows MATCHES "^[1-9][0-9]*$" OR rows GREATER max_rows OR NOT cores MATCHES "^(1|all)$"
       OR NOT options MATCHES "^(${option_words})(,(${option_words}))*$" OR NOT function MATCHES "^[A-Za-z_][A-Za-z0-9_]*$")
      message(FATAL_ERROR "${arg_LIST}: a field of ${name} is not one of those the header describes")
    endif()

    set(column_names "")
    set(column_roles "")
    set(position 0)
    string(REPLACE "," ";" column_list "${columns}")
    foreach(column IN LISTS column_list)
      if(NOT column MATCHES "^([A-Za-z0-9_-]+):([a-z_]+)$")
        message(FATAL_ERROR "${arg_LIST}: the column '${column}' of ${name} is not NAME:ROLE")
      endif()
      set(column_name ${CMAKE_MATCH_1})
      set(role_word ${CMAKE_MATCH_2})
      set(is_count no)
      if(role_word MATCHES "^(samples|counter|intervals|chain_points|checkpoints)$")
        set(is_count yes)
      endif()
      set(is_first no)
      if(position EQUAL 0)
        set(is_first yes)
      endif()
      if(NOT DEFINED role_${role_word} OR NOT is_count STREQUAL is_first)
        message(FATAL_ERROR "${arg_LIST}: the column ${column_name} of ${name} cannot have the role ${role_word}")
      endif()
      string(APPEND column_names "${separator_${position}}\"${column_name}\"")
      string(APPEND column_roles "${separator_${position}}ColumnRole::${role_${role_word}}")
      set(separator_1 ", ")
      set(position 1)
    endforeach()
    list(LENGTH column_list column_count)

    string(REPLACE "\\" "\\\\" about "${about}")
    string(REPLACE "\"" "\\\"" about "${about}")
    string(REPLACE "," "\", \"" option_names "${options}")
    if(output STREQUAL "stdout")
      set(on_standard_output true)
    else()
      set(on_standard_output false)
    endif()
    if(sigma STREQUAL "-")
      set(sigma_function "nullptr")
    else()
      set(sigma_function "[] { return static_cast<double>(${sigma}); }")
    endif()
    if(cores STREQUAL "all")
      set(uses_every_core true)
    else()
      set(uses_every_core false)
    endif()
    list(APPEND programs ${name})
    string(APPEND declarations "void ${function}(const RunSettings& settings, RowSink& sink);\n")
    string(APPEND entries
      "        {.name = \"${name}\",\n"
      "         .table_file = \"${table}\",\n"
      "         .columns = ${column_count},\n"
      "         .on_standard_output = ${on_standard_output},\n"
      "         .default_rows = ${rows},\n"
      "         .max_rows = ${max_rows},\n"
      "         .column_names = {${column_names}},\n"
      "         .options = {\"${option_names}\"},\n"
      "         .exact = [] { return static_cast<double>(${exact}); },\n"
      "         .sigma = ${sigma_function},\n"
      "         .uses_every_core = ${uses_every_core},\n"
      "         .column_roles = {${column_roles}},\n"
      "         .about = \"${about}\",\n"
      "         .run = ${function}},\n")
  endforeach()
  get_filename_component(list_name ${arg_LIST} NAME)
  file(CONFIGURE OUTPUT ${arg_OUTPUT} @ONLY CONTENT
"// Generated by CMake from ${list_name}: edit the list, not this file.
#include \"experiment_runs.hpp\"
#include \"experiments.hpp\"
#include \"test_functions.hpp\"

// The functions that run the experiments.
${declarations}
const std::vector<Experiment>& ${arg_FUNCTION}()
{
    static const std::vector<Experiment> all = {
${entries}    };
    return all;
}
")
  if(arg_PROGRAMS)
    set(${arg_PROGRAMS} ${programs} PARENT_SCOPE)
  endif()
endfunction()
