// A closed grid poly with a network of intersection nodes laid by hand,
// shared by the intersection-loop tests.
#pragma once

#include <merrow1/poly_intxn.h>
#include <merrow1/poly_seg.h>
#include <merrow1/psi.h>

#include "exact/line_arc_seg.h"

#include <cstddef>
#include <deque>
#include <vector>

namespace hand_network {

struct Seg {
    PNT2_s to;
    double h = LINE_ARC_SEG_LINE_H;
    uint32_t flags = 0;
    std::vector<PNT2_s> mids = {};
};

// A closed poly with its network laid by hand: node V_k stands at the start
// of segment k (segs[0]) and the end of segment k - 1 (segs[1]); nodes along
// a segment are linked through the forward arm of the earlier node and the
// backward arm of the later one.
class Net {
public:
    Net(CMEM_pool_s* pool, const std::vector<Seg>& segs) : pool_(pool) {
        poly_ = POLY_SEG_create(pool);
        other_ = POLY_SEG_create(pool);
        const PNT2_s o0 = {-1e6, -1e6}, o1 = {1e6, 1e6};
        POLY_SEG_append_line(other_, &o0);
        foreign_ = POLY_SEG_append_line(other_, &o1);
        const int n = static_cast<int>(segs.size());
        PNT2_s start = segs.back().to;
        for (const Seg& s : segs) {
            RING_node_s* r = RING_insert_after(poly_, poly_->last, LINE_ARC_SEG_create(pool, &start, &s.to, s.h));
            static_cast<LINE_ARC_SEG_s*>(r->main_data)->flags = s.flags;
            seg_nodes_.push_back(r);
            start = s.to;
        }
        poly_->last->next = poly_->first;
        poly_->first->previous = poly_->last;
        std::vector<PSI_INTXN_NODE_s*> vertex(n);
        for (int k = 0; k < n; ++k) {
            vertex[k] = make(segs[(k + n - 1) % n].to);
            vertex[k]->segs[0] = seg_nodes_[k];
            vertex[k]->segs[1] = seg_nodes_[(k + n - 1) % n];
        }
        for (int k = 0; k < n; ++k) {
            std::vector<PSI_INTXN_NODE_s*> along = {vertex[k]};
            for (const PNT2_s& m : segs[k].mids) along.push_back(crossing(m, k));
            along.push_back(vertex[(k + 1) % n]);
            for (size_t i = 0; i + 1 < along.size(); ++i) link(along[i], along[i + 1], k);
            runs_.push_back(along);
        }
    }
    ~Net() { POLY_SEG_destroy(poly_); POLY_SEG_destroy(other_); }

    // A loop through every sub-segment with the poly (entries at the later
    // node, backward arms) or against it, starting at sub-segment `first`.
    POLY_INTXN_s* loop(bool reversed = false, int first = 0, bool closed = true) const {
        std::vector<POLY_INTXN_node_s> order = entries(reversed);
        POLY_INTXN_s* l = POLY_INTXN_create(pool_);
        const int n = static_cast<int>(order.size());
        for (int i = 0; i < n; ++i) POLY_INTXN_append(l, order[(first + i) % n].node, order[(first + i) % n].arm);
        l->closed = closed ? 1 : 0;
        return l;
    }
    std::vector<POLY_INTXN_node_s> entries(bool reversed) const {
        std::vector<POLY_INTXN_node_s> order;
        if (!reversed) {
            for (size_t k = 0; k < runs_.size(); ++k)
                for (size_t i = 1; i < runs_[k].size(); ++i)
                    order.push_back({runs_[k][i], index(runs_[k][i], static_cast<int>(k))});
        } else {
            for (size_t k = runs_.size(); k-- > 0;)
                for (size_t i = runs_[k].size() - 1; i-- > 0;)
                    order.push_back({runs_[k][i], 2 | index(runs_[k][i], static_cast<int>(k))});
        }
        return order;
    }

    // Lays a new node at p between nodes i and i + 1 of segment k's run (as a
    // later intersection pass would).
    PSI_INTXN_NODE_s* split(int k, size_t i, PNT2_s p) {
        PSI_INTXN_NODE_s* a = runs_[k][i];
        PSI_INTXN_NODE_s* b = runs_[k][i + 1];
        PSI_INTXN_NODE_s* x = crossing(p, k);
        link(a, x, k);
        link(x, b, k);
        runs_[k].insert(runs_[k].begin() + static_cast<std::ptrdiff_t>(i) + 1, x);
        return x;
    }

    RING_header_s* poly() const { return poly_; }
    RING_node_s* seg(int k) const { return seg_nodes_[k]; }
    const std::vector<PSI_INTXN_NODE_s*>& run(int k) const { return runs_[k]; }
    int index(const PSI_INTXN_NODE_s* x, int k) const { return x->segs[1] == seg_nodes_[k] ? 1 : 0; }

private:
    PSI_INTXN_NODE_s* make(PNT2_s p) {
        nodes_.emplace_back();
        PSI_INTXN_NODE_s* x = &nodes_.back();
        x->pnt = p;
        for (int a = 0; a < 4; ++a) {
            x->next_around[a] = x;
            x->next_around_idx[a] = static_cast<unsigned char>(a);
        }
        return x;
    }
    PSI_INTXN_NODE_s* crossing(PNT2_s p, int k) {
        PSI_INTXN_NODE_s* x = make(p);
        x->segs[0] = seg_nodes_[k];
        x->segs[1] = foreign_;
        return x;
    }
    void link(PSI_INTXN_NODE_s* a, PSI_INTXN_NODE_s* b, int k) {
        a->pn_along[2 | index(a, k)] = b;
        b->pn_along[index(b, k)] = a;
    }

    CMEM_pool_s* pool_;
    RING_header_s* poly_ = nullptr;
    RING_header_s* other_ = nullptr;
    RING_node_s* foreign_ = nullptr;
    std::vector<RING_node_s*> seg_nodes_;
    std::deque<PSI_INTXN_NODE_s> nodes_;
    std::vector<std::vector<PSI_INTXN_NODE_s*>> runs_;
};

}  // namespace hand_network
