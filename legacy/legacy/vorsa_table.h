// The solid kernel of the earlier build, loaded on first use: the section
// engine reaches every kernel entry point through one table that the loader
// fills, so the library has no link dependency on the kernel.
#pragma once

#include <stend/error.h>
#include <vorsa/vorsa.h>

#include <string>

namespace merrow1 {
namespace legacy {

// The entry points the section engine uses.
#define MERROW1_VORSA_ENTRIES(X)                                                                        \
    X(VQ_MARK_create) X(VQ_MARK_goto) X(VQ_MARK_delete) X(VQ_BODY_ask_type) X(VQ_PLANE_create)           \
    X(VQ_ENTITY_delete) X(VQ_VECTOR_perpendicular) X(VQ_BODY_imprint_plane) X(VQ_EDGE_ask_faces)          \
    X(VQ_ATTDEF_find) X(VQ_ATTDEF_create) X(VQ_ATTRIB_create_empty) X(VQ_ATTRIB_set_doubles)              \
    X(VQ_ATTRIB_ask_doubles) X(VQ_ENTITY_ask_first_attrib) X(VQ_ERROR_clear_last)                         \
    X(VQ_SESSION_ask_precision) X(VQ_BODY_ask_faces) X(VQ_BODY_ask_edges) X(VQ_FACE_ask_surf)             \
    X(VQ_CURVE_output_vectors) X(VQ_CIRCLE_ask) X(VQ_BODY_section_with_surf) X(VQ_section_r_f) X(VQ_SET_create)   \
    X(VQ_SET_add_members) X(VQ_SET_is_member) X(VQ_SET_delete_set) X(VQ_FACE_imprint_cus_isoclin) X(VQ_EDGE_ask_fins) \
    X(VQ_FIN_ask_face) X(VQ_FIN_is_positive)

struct VorsaTable {
#define MERROW1_VORSA_FIELD(name) decltype(&::name) name;
    MERROW1_VORSA_ENTRIES(MERROW1_VORSA_FIELD)
#undef MERROW1_VORSA_FIELD
};

// The table, loading the kernel on the first call; null, with a note naming
// the library or the entry that failed, when it cannot be loaded.
const VorsaTable* vorsa_table();
// The table once loaded (the section engine exists only then).
const VorsaTable& vq();

// A failed kernel call becomes the host's severe error with the kernel's code.
inline void vorsa_check(VQ_ERROR_code_t code, const char* call) {
    if (code != VQ_ERROR_none) throw Korvo::Error::Severe(code, std::string("kernel call failed: ") + call);
}

}  // namespace legacy
}  // namespace merrow1

// Runs one kernel call through the table and raises its failure:
// MERROW1_VQL(VQ_MARK_create, &mark).
#define MERROW1_VQL(name, ...) \
    ::merrow1::legacy::vorsa_check(::merrow1::legacy::vq().name(__VA_ARGS__), #name)
