// Host parameter objects: operations and groups whose parameters, by number,
// hold integers, directions and other objects; and the Z axis of a
// coordinate-system object.
//
// Stand-in for the host's libpellam; objects are made by tests.
#pragma once

#include <map>

typedef unsigned int tag_t;

namespace Korvo {

class PARAM {
public:
    PARAM() = default;
    virtual ~PARAM() = default;
    // Whether the parameter exists.
    bool Has(int id) const;
    // An integer, a direction or a held object of the parameter; false or
    // null when it has none of that kind.
    bool AskInt(int id, int* value) const;
    bool AskVector(int id, double vector[3]) const;
    const PARAM* AskObject(int id) const;
    tag_t AskTag(int id) const;

    void SetInt(int id, int value);
    void SetVector(int id, const double vector[3]);
    void SetObject(int id, const PARAM* object);
    void SetTag(int id, tag_t tag);

private:
    struct Value {
        int i = 0;
        double v[3] = {0, 0, 0};
        const PARAM* object = nullptr;
        tag_t tag = 0;
        int kind = 0;  // 1 int, 2 vector, 3 object, 4 tag
    };
    std::map<int, Value> m_values;
};

}  // namespace Korvo

// The Z axis of a coordinate-system object; 0 on success, 1 (axis untouched)
// for an unknown object.
int v6062(tag_t object, double z_axis[3]);
