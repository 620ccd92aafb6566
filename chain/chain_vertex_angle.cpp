// The angle of a chain at a vertex.
#include <merrow1/chain_vertex_angle.h>

#include <merrow1/chain.h>
#include <merrow1/chain_corner.h>

#include "internal/vec2.h"

#include <cmath>

int CHAIN_vertex_angle(const RING_header_s* chain, const RING_node_s* vertex, double* angle) {
    double in[2], out[2];
    if (!chain || !vertex) return 0;
    if (ChainVertexTangent(chain, vertex, in, out, nullptr, nullptr) != CHAIN_TANGENT_BOTH) return 0;
    const double a[2] = {-in[0], -in[1]};
    double cross = a[0] * out[1] - a[1] * out[0];
    const auto* data = static_cast<const CHAIN_main_data_s*>(chain->main_data);
    if (data && data->material_side == LEFT) cross = -cross;
    double value = std::atan2(cross, a[0] * out[0] + a[1] * out[1]);
    if (value < 0.0) value += 2.0 * merrow1::kPi;
    if (angle) *angle = value;
    return 1;
}
