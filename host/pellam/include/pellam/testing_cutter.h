// Test controls of the cutter and tracking-point stand-ins
// (<pellam/cutter.h>).  Not part of the host's interface.
#pragma once

#include <pellam/cutter.h>

#include <string>
#include <vector>

namespace pellam_test {

// A cutter of the type, subtype and name; its tag.
tag_t make_cutter(int type, int subtype, const std::string& name);
// Sets a tag or tag-array parameter of an object.
void set_tag_param(tag_t object, int param, tag_t value);
void set_tag_array_param(tag_t object, int param, const std::vector<tag_t>& values);
// A tracking point object; its tag.
tag_t make_trackpoint(double diameter, const double direction[3], const double position[3]);
// A tag for any object (of another class, say).
tag_t tag_object(Korvo::OM::Object* object);
// The queries made: "type", "subtype", "name", "tag", "tag_array" with the
// tag and parameter asked about (0 for the cutter queries).
struct CutterCall {
    std::string op;
    tag_t tag;
    int param;
};
const std::vector<CutterCall>& cutter_calls();
// While set, PARAM_ask_tag_array raises a Korvo::Error::Severe (code 1) after
// it has made its array in the pool.
void fail_tag_array(bool on);
// Deletes the tracking points made and forgets cutters, parameters and tags.
void reset_cutters();

}  // namespace pellam_test
