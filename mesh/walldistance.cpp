// Wall distance: a front ordered by distance (Dijkstra-like over the node graph) whose nodes take
// the distance to a wall point found near the wall node of the neighbour that reached them.
#include "mesh/walldistance.h"

#include <algorithm>
#include <cmath>

#include "foundation/heaplist.h"
#include "mesh/elem.h"

namespace {

/// Length checks common to both forms; gives the node count.
int CheckLengths(Plex<Node>* nodes, const IntVec& converter, const ReaVec& distance) {
  const int n = nodes->count;
  if (converter.length() != static_cast<unsigned>(n)) OLVU_FATAL("Wrong Index Converter in DistanceField\n");
  if (distance.length() != static_cast<unsigned>(n)) OLVU_FATAL("Wrong Distance Vector in DistanceField\n");
  return n;
}

/// Number of a wall node in the slot, which must name a row.
int WallRow(const Node* nd, int slot, int n) {
  const int q = nd->num[slot];
  if (q < 1 || q > n) OLVU_FATAL("Wrong node plex in DistanceField calculation\n");
  return q;
}

/// Wall nodes by row and, for each, the wall nodes sharing a wall element with it (itself
/// included), sorted by their numbers in the slot.
struct WallAdjacency {
  std::vector<int> index;                 // wall index of row q - 1, or -1
  std::vector<Node*> node;                // wall node of each wall index
  std::vector<std::vector<Node*>> near;   // neighbours of each wall index

  WallAdjacency(const std::vector<Mesh*>& walls, int slot, int n) : index(n, -1) {
    for (Mesh* m : walls) {
      int in = 0;
      for (Node* nd = m->giveNextNode(in); nd; nd = m->giveNextNode(in)) {
        const int q = WallRow(nd, slot, n);
        if (index[q - 1] >= 0) continue;
        index[q - 1] = static_cast<int>(node.size());
        node.push_back(nd);
        near.push_back({nd});
      }
    }
    for (Mesh* m : walls) {
      const int nn = m->GiveNnode();
      int ie = 0;
      for (Elem* e = m->giveNextElm(ie); e; e = m->giveNextElm(ie))
        for (int i = 0; i < nn; ++i)
          for (int k = i + 1; k < nn; ++k) {
            near[Record((*e)[i], slot)].push_back((*e)[k]);
            near[Record((*e)[k], slot)].push_back((*e)[i]);
          }
    }
    for (auto& list : near) {
      std::sort(list.begin(), list.end(), [slot](const Node* a, const Node* b) { return a->num[slot] < b->num[slot]; });
      list.erase(std::unique(list.begin(), list.end(), [slot](const Node* a, const Node* b) { return a->num[slot] == b->num[slot]; }), list.end());
    }
  }
  /// Wall index of a wall element's node; a node outside the wall node tables ends the run.
  int Record(const Node* nd, int slot) const {
    const int q = nd->num[slot];
    const int w = q >= 1 && q <= static_cast<int>(index.size()) ? index[q - 1] : -1;
    if (w < 0) OLVU_FATAL("Do not exist index " << q << " in Plex Distance NodeFile structure\n");
    return w;
  }
};

/// The table of nearest wall nodes by row number, in increasing rows.
Plex<Node>* NearestTable(const std::vector<Node*>& nearest) {
  Plex<Node>* table = new Plex<Node>(50, "Distance nodes conectivity");
  for (size_t r = 0; r < nearest.size(); ++r)
    if (nearest[r]) table->set_at(static_cast<int>(r) + 1, nearest[r]);
  return table;
}

/// Row of a node taken from the front.
int FrontRow(const Node* t, int slot, int n) {
  const int q = t->num[slot];
  if (q < 1 || q > n) OLVU_FATAL("Do not exist index " << q << " in Plex Distance nodes conectivity\n");
  return q;
}

/// Seeds the front with the wall nodes in increasing row order at distance 0.
void Seed(const WallAdjacency& w, HeapList<Node>& front, std::vector<char>& done, std::vector<Node*>& nearest,
          ReaVec& distance) {
  for (size_t r = 0; r < w.index.size(); ++r) {
    if (w.index[r] < 0 || done[r]) continue;
    Node* nd = w.node[w.index[r]];
    done[r] = 1;
    distance[r] = 0;
    front.add(nd, 0);
    nearest[r] = nd;
  }
}

}  // namespace

Plex<Node>* DistanceField(Plex<Node>* nodes, const std::vector<Mesh*>& walls, SparseMatrixStruct* graph,
                          IntVec& converter, ReaVec& distance, int slot) {
  const int n = CheckLengths(nodes, converter, distance);
  std::vector<Node*> nearest(n, nullptr);
  if (n == 0) return NearestTable(nearest);
  const WallAdjacency w(walls, slot, n);
  HeapList<Node> front(n);
  std::vector<char> done(n, 0);
  Seed(w, front, done, nearest, distance);

  const int* rp = graph->row_ptr(0);
  const int* ci = graph->col_ind(0);
  const int rows = graph->nrows();
  while (front.n_elem() > 0) {
    Node* t = front.top_elm();
    const int q = FrontRow(t, slot, n);
    Node* const w0 = nearest[q - 1];
    front.rm_top();
    if (q > rows) continue;  // a row beyond the pattern has no neighbours
    for (int p = rp[q - 1]; p < rp[q]; ++p) {
      const int e = ci[p];
      if (e == q - 1 || e < 0 || e >= n || done[e]) continue;
      Node* x = nodes->get_at(converter[e]);
      // Walk downhill over the wall adjacency from the neighbour's wall node, at most three steps.
      Node *best = w0, *prev = nullptr;
      double h = -1;
      for (int pass = 0; pass < 3; ++pass) {
        const std::vector<Node*>& around = w.near[w.Record(best, slot)];
        for (Node* u : around) {
          const double d2 = dist2(x, u);
          if (h < 0 || d2 < h) prev = best, best = u, h = d2;
        }
        if (best == w0) break;
      }
      if (prev) {
        double m2 = 0;
        for (int k = 0; k < 3; ++k) {
          const double d = (*x)[k] - 0.5 * ((*prev)[k] + (*best)[k]);
          m2 += d * d;
        }
        if (m2 < h) h = m2;
      }
      distance[e] = std::sqrt(h);
      done[e] = 1;
      front.add(x, distance[e]);
      nearest[e] = best;
    }
  }
  return NearestTable(nearest);
}

Plex<Node>* DistanceField(Plex<Node>* nodes, const std::vector<Mesh*>& walls, CSR<int>* graph, IntVec& converter,
                          ReaVec& distance, int slot) {
  const int n = CheckLengths(nodes, converter, distance);
  std::vector<Node*> nearest(n, nullptr);
  if (n == 0) return NearestTable(nearest);
  const WallAdjacency w(walls, slot, n);
  // The wall elements around each wall node, in wall-set and element order.
  std::vector<std::vector<Elem*>> around(w.node.size());
  for (Mesh* m : walls) {
    const int nn = m->GiveNnode();
    int ie = 0;
    for (Elem* e = m->giveNextElm(ie); e; e = m->giveNextElm(ie))
      for (int i = 0; i < nn; ++i) {
        auto& list = around[w.Record((*e)[i], slot)];
        if (list.empty() || list.back() != e) list.push_back(e);
      }
  }
  HeapList<Node> front(n);
  std::vector<char> done(n, 0);
  Seed(w, front, done, nearest, distance);
  const int base = graph->base();
  std::vector<Node*> cand;
  while (front.n_elem() > 0) {
    Node* t = front.top_elm();
    const int q = FrontRow(t, slot, n);
    const int wi = w.Record(nearest[q - 1], slot);
    front.rm_top();
    cand.clear();
    for (Elem* e : around[wi])
      for (int i = 0; i < e->Nnode() && cand.size() < 100; ++i)
        if (std::find(cand.begin(), cand.end(), (*e)[i]) == cand.end()) cand.push_back((*e)[i]);
    if (cand.empty()) OLVU_FATAL("Cannot find body elements for node " << t->num[0] << "\n");
    if (q - base < 0 || q - base >= graph->nrows()) continue;
    const int* row = graph->row(q);
    for (int p = 0, len = graph->row_size(q); p < len; ++p) {
      const int e = row[p] - base;
      if (e < 0 || e >= n || done[e]) continue;
      Node* x = nodes->get_at(converter[e]);
      double h = 1e10;
      Node* best = nullptr;
      for (Node* c : cand) {
        const double d2 = dist2(x, c);
        if (d2 < h) h = d2, best = c;
      }
      distance[e] = std::sqrt(h);
      done[e] = 1;
      front.add(x, distance[e]);
      nearest[e] = best ? best : nearest[q - 1];
    }
  }
  return NearestTable(nearest);
}

int LayersField(SparseMatrixStruct* graph, BitVec& marked, IntVec& layer) {
  const int n = static_cast<int>(layer.length());
  for (int i = 0; i < n; ++i) layer[i] = -1;
  if (n == 0 || marked.null()) return 0;
  // Layers grow by one per edge, so a first-in first-out front visits rows in layer order.
  std::vector<int> queue;
  queue.reserve(n);
  for (int i = 0; i < n && i < static_cast<int>(marked.length()); ++i)
    if (marked(i + 1)) layer[i] = 0, queue.push_back(i);
  const int* rp = graph->row_ptr(0);
  const int* ci = graph->col_ind(0);
  const int rows = std::min(n, graph->nrows());
  for (size_t h = 0; h < queue.size(); ++h) {
    const int r = queue[h];
    if (r >= rows) continue;
    for (int p = rp[r]; p < rp[r + 1]; ++p) {
      const int k = ci[p];
      if (k < n && layer[k] == -1) layer[k] = layer[r] + 1, queue.push_back(k);
    }
  }
  return 1;
}
