// Host cutters (tools named by tags): their type, subtype, name and tag
// parameters, and the tracking points of probing tools as objects of the
// object manager.
#pragma once

#include <stend/om.h>
#include <velte/cmem.h>

typedef unsigned int tag_t;

// Type and subtype of a cutter; 0 on success, 1 (output 0) for a tag that
// names no cutter.
int CUTTER_ask_type(tag_t tool, int* type);
int CUTTER_ask_subtype(tag_t tool, int* subtype);
// The cutter's name, or null for a tag that names no cutter.  Valid while the
// cutter lives.
const char* CUTTER_ask_name(tag_t tool);

// A tag parameter of an object; 0 on success, 1 (value 0) when it is unset.
int PARAM_ask_tag(tag_t object, int param, tag_t* value);
// A tag-array parameter: its length in *count and, in *values, an array of
// the tags made in the pool (null for none).  0 on success, 1 (count 0, no
// array) when the parameter is unset.
int PARAM_ask_tag_array(tag_t object, int param, CMEM_pool_s* pool, int* count, tag_t** values);

// The object of a tag, or null.
Korvo::OM::Object* TAG_ask_object(tag_t tag);

// A tracking point of a probing tool: a tip of the given diameter at a
// position, pointing along a direction (in the tool's coordinates).
class ProbeTrackpoint : public Korvo::OM::MethodicObject {
public:
    double GetDiameter() const { return m_diameter; }
    void GetDirection(double direction[3]) const;
    void GetPosition(double position[3]) const;
    void Set(double diameter, const double direction[3], const double position[3]);

    static Korvo::OM::Object* CreateCallback(void* memory, int, void* data);

protected:
    ProbeTrackpoint() = default;
    ~ProbeTrackpoint() override = default;

private:
    double m_diameter = 0.0;
    double m_direction[3] = {0.0, 0.0, 0.0};
    double m_position[3] = {0.0, 0.0, 0.0};
};

// Class of ProbeTrackpoint objects, "ProbeTrackpoint" (registered when the
// library loads).
extern Korvo::OM::ClassId ProbeTrackpointClassId;
