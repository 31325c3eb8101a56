# Writes a C++ source that holds the text of every profile, so that the programs carry the
# simulated machines with them. Called with -DOUTPUT=<file> -DPROFILES=<file;file;...>.
set(body "")
set(entries "")
set(i 0)
foreach(profile IN LISTS PROFILES)
  file(READ "${profile}" text)
  get_filename_component(file_name "${profile}" NAME)
  string(REGEX MATCH "\nname = ([^\n]*)" _ "${text}")
  set(machine "${CMAKE_MATCH_1}")
  if(machine STREQUAL "")
    message(FATAL_ERROR "${profile}: no 'name = ...' line under [machine]")
  endif()
  string(FIND "${text}" ")QSIMPROFILE\"" clash)
  if(NOT clash EQUAL -1)
    message(FATAL_ERROR "${profile} contains the raw string delimiter")
  endif()
  string(APPEND body "constexpr std::string_view kText${i} = R\"QSIMPROFILE(${text})QSIMPROFILE\";\n")
  string(APPEND entries "      {\"${machine}\", \"${file_name}\", kText${i}},\n")
  math(EXPR i "${i} + 1")
endforeach()
file(WRITE "${OUTPUT}.new"
"// Generated from sim/profiles/ by sim/embed_profiles.cmake; do not edit.
#include \"sim/profile.h\"

namespace sim {
namespace {
${body}}  // namespace

const std::vector<BuiltinProfile>& builtinProfiles() {
  static const std::vector<BuiltinProfile> all{
${entries}  };
  return all;
}

}  // namespace sim
")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
