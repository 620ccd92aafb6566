// Test controls of the modelling entities (<tavish/entities.h>).  Not part of
// the host's interface.
#pragma once

#include <tavish/entities.h>

#include <string>
#include <vector>

namespace tavish_test {

struct EntityCall {
    std::string op;              // "point", "matrix", "arc", "ask_point", "ask_centre", "ask_radius", "ask_form",
                                 // "ask_csys", "group_add", "user_name"
    tag_t tag;                   // the tag made or asked about (group_add, user_name: the member / object)
    tag_t other;                 // arc: the matrix tag; group_add: the group
    std::vector<double> values;  // point: 3; matrix: 9; arc: centre (3), radius, start, end
    std::string text;            // user_name: the name set
};

// Calls since the last reset_entities().
const std::vector<EntityCall>& entity_calls();
// The user name an object was last given ("" when none), and whether it has one.
std::string user_name(tag_t object);
bool has_user_name(tag_t object);

// Entities for the queries (tags from the stand-in's own range).
tag_t make_point(const double point[3]);
tag_t make_arc(const double centre[3], double radius);
tag_t make_solid(int form);
tag_t make_csys(const double origin[3], const double matrix[9]);

// Forgets the entities, names and calls.
void reset_entities();

}  // namespace tavish_test
