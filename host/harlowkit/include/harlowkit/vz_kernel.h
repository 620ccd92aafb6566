// Host objects as solid-kernel entities: the kernel tag of a solid, of an
// occurrence's body, face or edge (placed copies made for the caller), of a
// curve, and the scale between host and kernel units.
//
// Stand-in for the host's libharlowkit; test controls in
// <harlowkit/testing_vz_kernel.h>.
#pragma once

typedef unsigned int tag_t;

// The kernel tag of a solid that is not an occurrence; 0 when it has none.
int ES_solid_ask_vorsa_tag(tag_t solid);
// The kernel entity of an occurrence's body, face or edge, made for the
// caller, with the two further entities made with it (the caller deletes all
// three).  0 on success, 1 (tags 0) when the occurrence has none.
int VZ_ask_tag_of_body(tag_t occurrence, int* tag, int* further1, int* further2);
int VZ_ask_tags_of_face(tag_t occurrence, int* tag, int* further1, int* further2);
int VZ_ask_tags_of_edge(tag_t occurrence, int* tag, int* further1, int* further2);
// The faces of a solid: their number and an array of their tags (SM_alloc;
// the caller frees it with SM_free; null for none).  0 on success, 1 for an
// unknown solid.
int ES_solid_ask_faces(tag_t solid, int* count, tag_t** faces);
// The kernel curve of a host curve; 0 when it has none.
int vzcutc(tag_t curve);
// factors[0] takes host lengths into kernel units, factors[1] back.
void vzsfac(double factors[2]);

// The host tag of a kernel entity (0 for none).
tag_t vzlook(int kernel_tag);
// Deletes the host's record of a kernel mark: 0, or 1 for an unknown mark
// (0 or below).
int FR_VJMARK_delete_mark(int mark);

struct RT_HASH_table_s;
// The region of kernel faces around the seed: the faces reached from it
// over shared edges of its body, each passing the filter (a hash of face
// tags; null takes every face), the seed first.  *faces in host string
// memory (SM_alloc; the caller frees it).  0 on success; 1 for a seed that
// is not a face or a kernel that is not loaded.
int EXTRACT_region_gather_vj_faces2(int seed, const RT_HASH_table_s* filter, int* n, int** faces);
