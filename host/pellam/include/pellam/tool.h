// Host tool list: each tool of a CAM setup with its profile, a linked list of
// elements in order along the profile.
//
// The layout of these records is this stand-in's own: the host's real tool
// record is not known, so only the fields the library reads are here.
#pragma once

// One element of a tool profile.
struct TOOL_profile_element_s {
    double point[2];    // where the element starts
    double centre[2];   // centre of an arc element
    double radius;      // radius of an arc element
    double direction[2];  // direction of a last, open-ended element
    int kind;           // 0 a line (or a last element running along its direction), 1 an arc
    TOOL_profile_element_s* next;
};

// One tool of the list.
struct TOOL_s {
    TOOL_profile_element_s* profile;
    double length;      // how far the last element runs along its direction
    TOOL_s* next;
};
