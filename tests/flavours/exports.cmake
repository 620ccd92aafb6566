# Runs `nm -DC --defined-only` on each flavour and checks the table below:
# each row is a demangled name and whether libmerrow1, libmerrow1-legacy and
# libmerrow1-classic export it (1) or not (0).  Then the classic build must
# export nothing of its own in the Korvo namespace (weak instantiations from
# host headers aside).
cmake_policy(SET CMP0007 NEW)
set(rows
  "SSP_init_module()|0|1|1"
  "SSP_ask_num_of_loaded_ssps()|0|1|1"
  "SSP_create_many_from_one_file(char const*, int, char const**, char const**, char const*, SSP_units_e)|0|1|1"
  "CAM_ask_root_of_view(int)|0|1|1"
  "CPE_init_global_machining(CPE_records_s const&)|0|1|1"
  "CPE_init_global_mill(CPE_records_s const&)|0|1|1"
  "CPE_init_global_lathe(CPE_records_s const&)|0|1|1"
  "CPE_init_surface_contouring(CPE_records_s const&)|0|1|1"
  "CPE_init_planar_milling(CPE_records_s const&)|0|1|1"
  "CPE_init_cavity_milling(CPE_records_s const&)|0|1|1"
  "CPE_init_paramline_milling(CPE_records_s const&)|0|1|1"
  "CPE_init_zigzag_surface(CPE_records_s const&)|0|1|1"
  "CPE_init_seq_surf_milling(CPE_records_s const&)|0|1|1"
  "CPE_init_lathe_rough(CPE_records_s const&)|0|1|1"
  "CPE_init_lathe_finish(CPE_records_s const&)|0|1|1"
  "CPE_init_lathe_thread(CPE_records_s const&)|0|1|1"
  "CPE_init_lathe_drill(CPE_records_s const&)|0|1|1"
  "CPE_init_lathe_groove(CPE_records_s const&)|0|1|1"
  "CPE_init_pt2pt(CPE_records_s const&)|0|1|1"
  "CPE_init_wire_edm(CPE_records_s const&)|0|1|1"
  # Every build exports the exact arithmetic and the plain cut-parameter entries.
  "LINE_ARC_SEG_prd_grid_loop_area_sign(PNT2_s const*, int, double, double)|1|1|1"
  "CPE_init_we_machine_cntl_events|1|1|1"
  # Every build holds the offset family.
  "CHAIN_offset(RING_header_s*, double, int, int, int (*)(RING_header_s const*, RING_node_s const*, bool, RING_header_s*, RING_node_s*), CHAIN_trace_vertex_t (*)(RING_header_s const*, RING_node_s const*), int (*)(RING_node_s*, RING_node_s*, RING_header_s*, RING_node_s*, RING_header_s*), CMEM_pool_s*, CHAIN_traceOutputParams_s const*)|1|1|1"
  "CHAIN_ask_new_filleting_status()|1|1|1"
)
set(flavours merrow1 merrow1-legacy merrow1-classic)

foreach(flavour ${flavours})
  execute_process(COMMAND ${NM} -DC --defined-only ${${flavour}} OUTPUT_VARIABLE out RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${NM} failed on ${${flavour}}")
  endif()
  # One exported name per line, the address and type cut off.
  string(REGEX REPLACE "[0-9a-f]+ [A-Za-z] ([^\n]*)" "\\1" names "${out}")
  string(REPLACE ";" "\\;" names "${names}")
  string(REPLACE "\n" ";" names "${names}")
  set(names_${flavour} "${names}")
  set(lines_${flavour} "${out}")
endforeach()

set(failures "")
foreach(row ${rows})
  string(REPLACE "|" ";" fields "${row}")
  list(GET fields 0 name)
  set(column 1)
  foreach(flavour ${flavours})
    list(GET fields ${column} want)
    list(FIND names_${flavour} "${name}" at)
    if(at GREATER -1)
      set(have 1)
    else()
      set(have 0)
    endif()
    if(NOT have EQUAL want)
      if(want)
        list(APPEND failures "lib${flavour} does not export ${name}")
      else()
        list(APPEND failures "lib${flavour} exports ${name}")
      endif()
    endif()
    math(EXPR column "${column} + 1")
  endforeach()
endforeach()

# Strong definitions (T, D, B, R) whose name is in Korvo:: (functions, data,
# and the vtables, type information and thunks of classes there) are the
# classic build's own; a Korvo type among the parameters does not count.
string(REGEX MATCHALL "[0-9a-f]+ [TDBR] ([a-z -]+ (for|to) )?Korvo::[^\n]*" own "${lines_merrow1-classic}")
foreach(line ${own})
  list(APPEND failures "libmerrow1-classic exports its own ${line}")
endforeach()

if(failures)
  string(REPLACE ";" "\n  " text "${failures}")
  message(FATAL_ERROR "export lists differ from the table:\n  ${text}")
endif()
message(STATUS "all rows hold")
