// Host tool path builders, as far as the boolean trim's cell query reads
// them: a builder yields its contour builder through a virtual operation; a
// pattern contour builder holds a chain and a junction node.  Tests make
// their own builders from these classes.
#pragma once

struct RING_header_s;
struct RING_node_s;

namespace Korvo {
namespace Cam {

class TPContourBuilder {
public:
    virtual ~TPContourBuilder();
};

class TPPatternContourBuilder : public TPContourBuilder {
public:
    ~TPPatternContourBuilder() override;
    RING_header_s* m_chain = nullptr;
    const RING_node_s* m_junction = nullptr;
};

class ITPBuilder {
public:
    virtual ~ITPBuilder();
    virtual TPContourBuilder* GetContourBuilder() = 0;
};

}  // namespace Cam
}  // namespace Korvo
