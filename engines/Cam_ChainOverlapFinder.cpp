// Overlap finder on chains (see the header).
#include <merrow1/Cam_ChainOverlapFinder.h>

#include <merrow1/chain_types.h>
#include <merrow1/poly_seg_chain.h>

#include <velte/cmem.h>

#include "chain/chain_record.h"

namespace Korvo {
namespace Cam {

namespace {

const CHAIN_app_poly_seg_chain_source_s* source_of(const RING_node_s* piece) {
    return piece ? static_cast<const CHAIN_app_poly_seg_chain_source_s*>(
                       APP_DATA__ask_app_data(piece->app_data, POLY_SEG_KEY_CHAIN_SOURCE))
                 : nullptr;
}

// A RIGHT chain's poly runs against the chain.
bool walked_backward(const RING_header_s* chain) {
    const CHAIN_main_data_s* md = merrow1::main_of(chain);
    return md && md->material_side == RIGHT;
}

}  // namespace

bool ChainOverlapFinder::PolySegToChainOverlapConverter::ReportOverlap(RING_header_s*, RING_node_s* segmentA,
                                                                       RING_header_s*, RING_node_s* segmentB,
                                                                       double startA, double endA,
                                                                       double startB, double endB) {
    const CHAIN_app_poly_seg_chain_source_s* a = source_of(segmentA);
    const CHAIN_app_poly_seg_chain_source_s* b = source_of(segmentB);
    if (!m_reporter || !a || !b || !a->chain || !b->chain) return false;
    if (walked_backward(a->chain)) {
        startA = 1 - startA;
        endA = 1 - endA;
    }
    if (walked_backward(b->chain)) {
        startB = 1 - startB;
        endB = 1 - endB;
    }
    return m_reporter->ReportOverlap(a->chain, a->vertex, b->chain, b->vertex, startA, endA, startB, endB);
}

ChainOverlapFinder::ChainOverlapFinder(RING_header_s* chainSet, double offsetLeft, double offsetRight,
                                       const double rangeX[2], const double rangeY[2], IOverlapReporter* reporter)
    : m_finder(nullptr),
      m_pool(CMEM_private_create_pool(512, "ChainOverlapFinder", __LINE__, __FILE__)),
      m_converter(reporter) {
    try {
        RING_header_s* set = POLY_SEG_create_from_chain_set(chainSet, m_pool, true, false, nullptr);
        m_finder = new PolySegOverlapFinder(set, offsetLeft, offsetRight, rangeX, rangeY, &m_converter);
    } catch (...) {
        CMEM_private_delete_pool(m_pool);
        throw;
    }
}

ChainOverlapFinder::~ChainOverlapFinder() {
    delete m_finder;
    CMEM_private_delete_pool(m_pool);
}

void ChainOverlapFinder::FindOverlapWith(RING_header_s* chain) {
    if (!chain || !m_finder) return;
    RING_header_s* poly = POLY_SEG_create_from_chain(chain, m_pool, POLY_SEG_chain_create_source, nullptr, false,
                                                     nullptr);
    m_finder->FindOverlapWith(poly);
}

}  // namespace Cam
}  // namespace Korvo
