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

/// Wall nodes by row with their coordinates and, for each, the wall nodes sharing a wall element
/// with it (itself included) in the order of their numbers in the slot, as compressed rows.
struct WallAdjacency {
  std::vector<int> index;    // wall index of row q - 1, or -1
  std::vector<Node*> node;   // wall node of each wall index
  std::vector<double> xyz;   // coordinates of each wall index, three a node
  std::vector<int> start;    // first neighbour of each wall index (one more entry than nodes)
  std::vector<int> near;     // neighbours (wall indices)

  WallAdjacency(const std::vector<Mesh*>& walls, int slot, int n) : index(n, -1) {
    for (Mesh* m : walls) {
      int in = 0;
      for (Node* nd = m->giveNextNode(in); nd; nd = m->giveNextNode(in)) {
        const int q = WallRow(nd, slot, n);
        if (index[q - 1] >= 0) continue;
        index[q - 1] = static_cast<int>(node.size());
        node.push_back(nd);
        for (int k = 0; k < 3; ++k) xyz.push_back((*nd)[k]);
      }
    }
    std::vector<std::pair<int, int>> pairs;
    for (int w = 0; w < static_cast<int>(node.size()); ++w) pairs.emplace_back(w, w);
    for (Mesh* m : walls) {
      const int nn = m->GiveNnode();
      int ie = 0;
      for (Elem* e = m->giveNextElm(ie); e; e = m->giveNextElm(ie))
        for (int i = 0; i < nn; ++i)
          for (int k = i + 1; k < nn; ++k) {
            const int a = Record((*e)[i], slot), b = Record((*e)[k], slot);
            pairs.emplace_back(a, b), pairs.emplace_back(b, a);
          }
    }
    // Neighbours in the order of their numbers: the walk takes the first of equal distances.
    std::sort(pairs.begin(), pairs.end(), [&](const std::pair<int, int>& x, const std::pair<int, int>& y) {
      if (x.first != y.first) return x.first < y.first;
      return node[x.second]->num[slot] < node[y.second]->num[slot];
    });
    pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
    start.assign(node.size() + 1, 0);
    for (const auto& pr : pairs) ++start[pr.first + 1], near.push_back(pr.second);
    for (size_t w = 0; w < node.size(); ++w) start[w + 1] += start[w];
  }
  /// Wall index of a wall element's node; a node outside the wall node tables ends the run.
  int Record(const Node* nd, int slot) const {
    const int q = nd->num[slot];
    const int w = q >= 1 && q <= static_cast<int>(index.size()) ? index[q - 1] : -1;
    if (w < 0) OLVU_FATAL("Do not exist index " << q << " in Plex Distance NodeFile structure\n");
    return w;
  }
  /// Squared distance from the point x (three coordinates) to wall node w.
  double Dist2(const double* x, int w) const {
    const double* c = &xyz[3 * static_cast<size_t>(w)];
    const double a = x[0] - c[0], b = x[1] - c[1], d = x[2] - c[2];
    return a * a + b * b + d * d;
  }
};

/// The table of nearest wall nodes by row number (from their wall indices), in increasing rows.
Plex<Node>* NearestTable(const std::vector<int>& nearest, const std::vector<Node*>& wallNode) {
  Plex<Node>* table = new Plex<Node>(50, "Distance nodes conectivity");
  for (size_t r = 0; r < nearest.size(); ++r)
    if (nearest[r] >= 0) table->set_at(static_cast<int>(r) + 1, wallNode[nearest[r]]);
  return table;
}

/// Row of a node taken from the front.
int FrontRow(const Node* t, int slot, int n) {
  const int q = t->num[slot];
  if (q < 1 || q > n) OLVU_FATAL("Do not exist index " << q << " in Plex Distance nodes conectivity\n");
  return q;
}

/// Seeds the front with the wall nodes in increasing row order at distance 0.
void Seed(const WallAdjacency& w, HeapList<Node>& front, std::vector<char>& done, std::vector<int>& nearest,
          ReaVec& distance) {
  for (size_t r = 0; r < w.index.size(); ++r) {
    if (w.index[r] < 0 || done[r]) continue;
    done[r] = 1;
    distance[r] = 0;
    front.add(w.node[w.index[r]], 0);
    nearest[r] = w.index[r];
  }
}

}  // namespace

Plex<Node>* DistanceField(Plex<Node>* nodes, const std::vector<Mesh*>& walls, SparseMatrixStruct* graph,
                          IntVec& converter, ReaVec& distance, int slot) {
  const int n = CheckLengths(nodes, converter, distance);
  std::vector<int> nearest(n, -1);
  if (n == 0) return NearestTable(nearest, {});
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
    const int w0 = nearest[q - 1];
    front.rm_top();
    if (q > rows) continue;  // a row beyond the pattern has no neighbours
    for (int p = rp[q - 1]; p < rp[q]; ++p) {
      const int e = ci[p];
      if (e == q - 1 || e < 0 || e >= n || done[e]) continue;
      Node* x = nodes->get_at(converter[e]);
      const double* xc = x->GivePointer();
      // Walk downhill over the wall adjacency from the neighbour's wall node, at most three steps.
      int best = w0, prev = -1;
      double h = -1;
      for (int pass = 0; pass < 3; ++pass) {
        const int s = best;
        for (int k = w.start[s]; k < w.start[s + 1]; ++k) {
          const int u = w.near[k];
          const double d2 = w.Dist2(xc, u);
          if (h < 0 || d2 < h) prev = best, best = u, h = d2;
        }
        if (best == w0) break;
      }
      if (prev >= 0) {
        const double* a = &w.xyz[3 * static_cast<size_t>(prev)];
        const double* b = &w.xyz[3 * static_cast<size_t>(best)];
        const double mid[3] = {0.5 * (a[0] + b[0]), 0.5 * (a[1] + b[1]), 0.5 * (a[2] + b[2])};
        const double m2 = (xc[0] - mid[0]) * (xc[0] - mid[0]) + (xc[1] - mid[1]) * (xc[1] - mid[1]) +
                          (xc[2] - mid[2]) * (xc[2] - mid[2]);
        if (m2 < h) h = m2;
      }
      distance[e] = std::sqrt(h);
      done[e] = 1;
      front.add(x, distance[e]);
      nearest[e] = best;
    }
  }
  return NearestTable(nearest, w.node);
}

Plex<Node>* DistanceField(Plex<Node>* nodes, const std::vector<Mesh*>& walls, CSR<int>* graph, IntVec& converter,
                          ReaVec& distance, int slot) {
  const int n = CheckLengths(nodes, converter, distance);
  std::vector<int> nearest(n, -1);
  if (n == 0) return NearestTable(nearest, {});
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
  std::vector<int> cand;
  while (front.n_elem() > 0) {
    Node* t = front.top_elm();
    const int q = FrontRow(t, slot, n);
    const int wi = nearest[q - 1];
    front.rm_top();
    cand.clear();
    for (Elem* e : around[wi])
      for (int i = 0; i < e->Nnode() && cand.size() < 100; ++i) {
        const int c = w.Record((*e)[i], slot);
        if (std::find(cand.begin(), cand.end(), c) == cand.end()) cand.push_back(c);
      }
    if (cand.empty()) OLVU_FATAL("Cannot find body elements for node " << t->num[0] << "\n");
    if (q - base < 0 || q - base >= graph->nrows()) continue;
    const int* row = graph->row(q);
    for (int p = 0, len = graph->row_size(q); p < len; ++p) {
      const int e = row[p] - base;
      if (e < 0 || e >= n || done[e]) continue;
      Node* x = nodes->get_at(converter[e]);
      double h = 1e10;
      int best = -1;
      for (int c : cand) {
        const double d2 = w.Dist2(x->GivePointer(), c);
        if (d2 < h) h = d2, best = c;
      }
      distance[e] = std::sqrt(h);
      done[e] = 1;
      front.add(x, distance[e]);
      nearest[e] = best >= 0 ? best : nearest[q - 1];
    }
  }
  return NearestTable(nearest, w.node);
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
