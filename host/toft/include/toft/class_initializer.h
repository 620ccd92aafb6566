// Host feature interfaces, handed out by name.
#pragma once

typedef unsigned int tag_t;

namespace Korvo {
namespace TOFT {

// Interface of plane features: defines a plane from other objects.
class IPlane {
public:
    virtual ~IPlane() = default;
    virtual void SetMethod(tag_t plane, int method_code) = 0;
    virtual void SetDefiningObjects(tag_t plane, tag_t first, tag_t second) = 0;
    virtual void SetExpressionName(tag_t plane, const char* name) = 0;
    virtual void ClearOption(tag_t plane, int option) = 0;
    virtual void Update(tag_t plane) = 0;
};

class ClassInitializer {
public:
    // The interface of that name whose calls are not journalled ("IPlane"
    // gives an IPlane), or null for a name the host does not know.
    static void* GetUnjournalledInterface(const char* name);
};

}  // namespace TOFT
}  // namespace Korvo
