// Element sets: creation forms, the node, element and value list readers, and the
// writers of the post-processor mesh format, the background-mesh block and the neutral file.
#include "mesh/mesh.h"

#include <strings.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iomanip>
#include <new>
#include <vector>

#include "foundation/error.h"
#include "input/input.h"
#include "mesh/elem.h"
#include "mesh/textscan.h"

namespace {

/// Type name of the mesh header line ("" for NoNe and values outside the table).
const char* HeaderTypeName(ElemType t) {
  static const char* const names[7] = {"", "Linear", "Triangle", "Quadrilateral", "Tetrahedra", "Hexahedra", "Prisma"};
  const int i = static_cast<int>(t);
  return i >= 0 && i <= 6 ? names[i] : "";
}

/// The type word after "elmtype" or "elemtype", taken from its first letters.
ElemType ReadTypeWord(std::istream& in) {
  while (SkipSeparators(in) == kSkipComment) {
  }
  const std::string w = ReadLowerWord(in);
  if (!w.empty()) {
    switch (w[0]) {
      case 'h': return Hexahedra;
      case 'l': return Linear;
      case 'q': return Quadrilateral;
      case 'p': return Prisma;
      case 't':
        if (w.size() > 1 && w[1] == 'r') return Triangle;
        if (w.size() > 1 && w[1] == 'e') return Tetrahedra;
        return Prisma;
      default: break;
    }
  }
  OLVU_FATAL("ElemType must be: Linear,Triangle,Quadrilateral, Tetrahedra, Hexahedra or Prisma\n");
}

/// The distinct nodes named by the elements of a list, entered into the set's node table
/// once the list is read, in ascending number: entering each as its element names it costs
/// a table search per reference when the numbering is scattered over the problem's table.
class UsedNodes {
 public:
  /// Room for the numbers up to `high` (more are taken as they come).
  explicit UsedNodes(int high) : seen_(static_cast<std::size_t>(high > 0 ? high : 0) / 64 + 1, 0) {}
  /// Notes the nodes of e that were not noted before.
  void Add(const Elem& e) {
    for (int i = 0, nn = e.Nnode(); i < nn; ++i) {
      Node* nd = e.nodesArray()[i];
      if (nd->num[0] < 1) {  // no valid number: the table rejects it when it is stored
        first_.push_back({nd->num[0], nd});
        continue;
      }
      const auto k = static_cast<std::size_t>(nd->num[0]);
      if (k / 64 >= seen_.size()) seen_.resize(k / 64 + 1, 0);
      const std::uint64_t bit = std::uint64_t{1} << (k % 64);
      if (seen_[k / 64] & bit) continue;
      seen_[k / 64] |= bit;
      first_.push_back({nd->num[0], nd});
    }
  }
  /// Stores every noted node under its number where the table holds none.
  void StoreIn(Plex<Node>* table) {
    std::sort(first_.begin(), first_.end(), [](const Entry& a, const Entry& b) { return a.num < b.num; });
    for (const Entry& u : first_)
      if (table->free(u.num)) table->set_at(u.num, u.node);
  }

 private:
  struct Entry {
    int num;
    Node* node;
  };
  std::vector<std::uint64_t> seen_;  ///< one bit per node number already noted
  std::vector<Entry> first_;         ///< the nodes in the order first named
};


/// The end checks of a numbered list of i records stored in table.
template <class T>
void CheckListEnd(const Plex<T>* table, int i) {
  if (i > 0) {
    if (table->high != i) OLVU_FATAL("error: list of nodes does not contain all numbers\n");
  } else if (table->low == 0) {
    OLVU_FATAL("error: list of nodes does not contain any node\n");
  }
}

}  // namespace

// ---- creation ----

Mesh::Mesh(int nodeChunk, int elemChunk, Input* in, ElemType defType, int defNnode) {
  type_ = in->Exist("ElmType") ? To_ElmType(in->GetWord("ElmType", nullptr)) : defType;
  nnode_ = in->Exist("NNode") ? in->GetInt("NNode") : defNnode;
  Init(nodeChunk, elemChunk);
}

Mesh::Mesh(int nodeChunk, int elemChunk, Input* in) {
  type_ = To_ElmType(in->GetWord("ElmType", nullptr));
  nnode_ = in->GetInt("NNode");
  Init(nodeChunk, elemChunk);
}

Mesh::Mesh(int nodeChunk, int elemChunk, int ndime, ElemType type, int nnode)
    : ndime_(ndime), nnode_(nnode), type_(type) {
  Init(nodeChunk, elemChunk);
}

Mesh::Mesh(Plex<Node>* nodes, int elemChunk, int ndime, ElemType type, int nnode)
    : ndime_(ndime), nnode_(nnode), type_(type), nodes_(nodes), borrowed_(1) {
  Init(0, elemChunk);
}

Mesh::Mesh(int num, std::istream& in, Plex<Node>* all) : number_(num) {
  FindLowerWord(in, "elmtype");
  type_ = ReadTypeWord(in);
  FindLowerWord(in, "nnode");
  nnode_ = ReadIntAfterWord(in);
  Init(100, 100);
  Mesh::ReadElemsFromAscii(in, all);
}

void Mesh::Init(int nodeChunk, int elemChunk) {
  order_ = CalcElemOrder(type_, nnode_);
  elems_ = std::make_unique<Plex<Elem>>(elemChunk, "Element");
  if (!nodes_) {
    ownNodes_ = std::make_unique<Plex<Node>>(nodeChunk, "Node");
    nodes_ = ownNodes_.get();
  }
}

Mesh::~Mesh() = default;

// ---- virtual defaults and accessors ----

void Mesh::MarkNodes(BitVec& b, int slot) {
  int i = 0;
  while (Node* nd = nodes_->next(i)) b.bound_mark(static_cast<unsigned>(nd->num[slot]));
}

int Mesh::AreYou(const char* text) { return strcasecmp(text, Name()) == 0; }

void Mesh::addNode(Node* nd) {
  if (nodes_->free(nd->num[0])) nodes_->set_at(nd->num[0], nd);
}

void Mesh::CalcShapeGaussNeutral() {
  int code = -1;
  switch (type_) {
    case Linear: code = nnode_ == 2 ? 11 : -1; break;
    case Triangle: code = nnode_ == 3 ? 7 : nnode_ == 6 ? 8 : -1; break;
    case Quadrilateral: code = nnode_ == 4 ? 9 : nnode_ == 8 ? 10 : -1; break;
    case Tetrahedra: code = nnode_ == 4 ? 3 : nnode_ == 10 ? 6 : -1; break;
    case Hexahedra: code = nnode_ == 8 ? 1 : nnode_ == 20 ? 4 : -1; break;
    default: return;  // NoNe and Prisma keep their code
  }
  if (code < 0) OLVU_FATAL("Unknown Neutral type\n");
  fvtype_ = code;
}

// ---- readers ----

int Mesh::ReadFromAscii(std::istream& in, Units*) {
  FindLowerWord(in, "dimension");
  ndime_ = ReadIntAfterWord(in);
  FindLowerWord(in, "elemtype");
  type_ = ReadTypeWord(in);
  FindLowerWord(in, "nnode");
  nnode_ = ReadIntAfterWord(in);
  CalcShapeGaussNeutral();
  FindLowerWord(in, "coordinates");
  OLVU_FATAL("Units\n");
}

Plex<Node>* Mesh::ReadNodesFromAscii(Input* in, double scale) {
  ::ReadNodesFromAscii(*in->GiveStream(), nodes_, scale, ndime_);
  return nodes_;
}

void Mesh::ReadElemsFromAscii(Input* in, Plex<Node>* all) { ReadElemsFromAscii(*in->GiveStream(), all); }

void Mesh::ReadElemsFromAscii(std::istream& in, Plex<Node>* all) {
  FindLowerWord(in, "elements");
  UsedNodes used(all->high);
  int count = 0;
  for (;;) {
    SkipToRecord(in);
    Elem* e = new Elem(this);
    if (!e->ReadFromAscii(in, all, static_cast<Units*>(nullptr))) {
      delete e;  // the record that ends the list
      break;
    }
    elems_->set_at(e->Num(), e);
    used.Add(*e);
    ++count;
  }
  used.StoreIn(nodes_);
  // The list ends at its closing words alone: a record it cannot read must stop the run, not be
  // passed over with the rest of the list on the way to them.
  const long long at = StreamOffset(in);
  const std::string closing = ReadCardWord(in);
  if (closing.empty()) OLVU_FATAL("can't find word ***end*** in " << FileOf(in, "input file") << "\n");
  if (closing.find("end") == std::string::npos)
    OLVU_FATAL("Mesh " << number_ << ": neither an element record nor \"End Elements\" at " << LineAt(in, at) << "\n");
  if (count == 0) OLVU_FATAL("Mesh " << number_ << ": Element list is empty\n");
  FindLowerWord(in, "elements");
}

void ReadNodesFromAscii(std::istream& in, Plex<Node>* table, double scale, int ncoord) {
  int i = 0;
  for (;;) {
    SkipToRecord(in);
    Node* nd = new Node(static_cast<unsigned>(ncoord));
    if (!nd->ReadFromAscii(in)) {
      delete nd;
      break;
    }
    *nd *= scale;
    if (nd->num[0] != ++i) OLVU_FATAL("Nodes must have consecutive indexes. See index " << i << "\n");
    table->set_at(i, nd);
  }
  CheckListEnd(table, i);
}

void ReadNodesFromAscii(Input* in, Plex<Node>* table, double scale, int ncoord) {
  ReadNodesFromAscii(*in->GiveStream(), table, scale, ncoord);
}

namespace {

/// Skips blanks, tabs and carriage returns; true when the record's line holds more than a comment.
bool MoreOnLine(std::istream& in) {
  std::streambuf* sb = in.rdbuf();
  int c = sb->sgetc();
  while (c == ' ' || c == '\t' || c == '\r') c = sb->snextc();
  return c != std::char_traits<char>::eof() && c != '\n' && c != '#';
}

/// True when the next character starts a number (the stream is left as it was).
bool NumberFollows(std::istream& in) {
  const int c = in.rdbuf()->sgetc();
  return (c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-';
}

}  // namespace

void ReadReaVecFromAscii(std::istream& in, int n, std::vector<int>& indexes, std::vector<double>& values) {
  indexes.clear();
  values.clear();
  for (;;) {
    SkipToRecord(in, kPlainWords);
    int index = 0;
    const ScanStatus st = ScanInt(in, index);
    if (st == kScanNone) {
      in.clear();
      break;
    }
    if (st == kScanBad) OLVU_FATAL("Wrong index " << PlaceIn(in) << "\n");
    // A record's values end with its line: a short record must not take the next one's number as
    // its own, and a further number means the record is not of this list.
    bool wrong = false;
    for (int k = 1; k <= n && !wrong; ++k) {
      double x = 0;
      wrong = !MoreOnLine(in) || ScanReal(in, x) != kScanOk;
      values.push_back(x);
    }
    if (wrong || (MoreOnLine(in) && NumberFollows(in)))
      OLVU_FATAL("Wrong values in record " << index << " " << PlaceIn(in) << "\n");
    DiscardLine(in);
    // Result blocks list only the nodes that lie in a domain, so numbers may be skipped; a
    // repeated or falling number is a broken list.
    if (index <= (indexes.empty() ? 0 : indexes.back()))
      OLVU_FATAL("Nodes must have increasing indexes. See index " << index << "\n");
    indexes.push_back(index);
  }
  if (indexes.empty()) OLVU_FATAL("error: list of nodes does not contain any node\n");
}

// ---- writers ----

void Mesh::CheckOutput(const std::ostream& out) const {
  if (!out) OLVU_FATAL("Cannot write mesh " << number_ << ": its output file is not open or has failed\n");
}

namespace {

/// Header line of the post-processor mesh block.
void WriteHeader(std::ostream& out, int ndime, ElemType t, int nnode) {
  out << "MESH    dimension = " << ndime << " ElemType " << HeaderTypeName(t) << "  Nnode = " << nnode << '\n';
}

/// Node line with the given number and every coordinate (at most three) times scale.
void WriteNodeLine(std::ostream& out, int number, const Node* nd, double scale) {
  out << std::setw(5) << number;
  const double* x = nd->GivePointer();
  for (unsigned k = 0; k < nd->length() && k < 3; ++k) out << std::setw(15) << x[k] * scale;
  out << '\n';
}

}  // namespace

void Mesh::WriteOldFormNodes(std::ostream& out, int old) {
  CheckOutput(out);
  WriteHeader(out, ndime_, type_, nnode_);
  out << "Coordinates\n";
  int i = 0;
  while (Node* nd = nodes_->next(i)) {
    if (old) {
      const int o = GiveOldNumber(nd);
      WriteNodeLine(out, o ? o : nd->num[0], nd, 1.0);
    } else {
      out << *nd;
    }
  }
  out << "end coordinates\n\nElements\n";
}

void Mesh::PrintMeshTo(std::ostream& out, int header, int coordinates, int elements, int frame) {
  PrintMeshTo(out, 1.0, header, coordinates, elements, frame);
}

void Mesh::PrintMeshTo(std::ostream& out, double scale, int header, int coordinates, int elements, int frame) {
  CheckOutput(out);
  if (header || frame) WriteHeader(out, ndime_, type_, nnode_);
  if (coordinates || frame) out << "Coordinates\n";
  if (coordinates) {
    int i = 0;
    while (Node* nd = nodes_->next(i)) WriteNodeLine(out, nd->num[0], nd, scale);
  }
  if (coordinates || frame) out << "end coordinates\n";
  if (elements || frame) out << "\nElements\n";
  if (elements) {
    int i = 0;
    while (Elem* e = elems_->next(i)) e->PrintConecTo(out);
  }
  if (elements || frame) out << "end elements\n";
  CheckOutput(out);
}

void Mesh::PrintTo(std::ostream& out, int old, int unused) {
  WriteOldFormNodes(out, old);
  int i = 0;
  while (Elem* e = elems_->next(i)) e->PrintTo(out, old, unused);
  out << "end elements\n";
  CheckOutput(out);
}

void Mesh::PrintTo(std::ofstream& out, int old, int unused) {
  WriteOldFormNodes(out, old);
  int i = 0;
  while (Elem* e = elems_->next(i)) {
    if (old)
      e->PrintTo(out, old, unused);
    else
      e->PrintConecTo(out);
  }
  out << "end elements\n";
  CheckOutput(out);
}

void Mesh::PrintBackgroundMeshTo(std::ostream& out, const ReaVec& sizes, int onNodes) {
  CheckOutput(out);
  out << "BackgroundMesh V 1.0\n";
  PrintMeshTo(out, 1, 1, 1, 1);
  out << (onNodes ? "DesiredSize Nodes\n" : "DesiredSize Elements\n");
  for (unsigned i = 1; i <= sizes.length(); ++i) out << i << '\t' << sizes(i) << '\n' << std::flush;
  out << "End DesiredSize\n";
  CheckOutput(out);
}

void Mesh::PrintToNeutral(std::ofstream& out, const char* name) {
  if (!out.is_open() || !out) OLVU_FATAL("Cannot open output file \"" << name << "\"\n");
  const char* base = std::strrchr(name, '/');
  base = base ? base + 1 : name;
  const std::size_t len = std::strlen(base);
  if (len > 6) base += len - 6;
  out << std::left << "    1C" << base << '\n' << std::right;
  out << "    2CCOORDE\n";
  if (nodes_->low != 0) {  // the file has no node records
    out.flush();
    OLVU_FATAL("stprintf\n");
  }
  out << " -3\n"
      << "    3CCONECT\n";
  int i = 0;
  while (Elem* e = elems_->next(i)) e->PrintToNeutral(out);
  out << " -3\n 9999\n";
  if (!out) OLVU_FATAL("Cannot open output file \"" << name << "\"\n");
}


void Mesh::NodeBox(ReaVec& max, ReaVec& min) const {
  int i = 0;
  const Node* first = giveNextNode(i);
  if (!first) first = giveNode(1);
  for (unsigned c = 1; c <= 3; ++c) max(c) = min(c) = (*first)(c);
  i = 0;
  while (const Node* nd = giveNextNode(i))
    for (unsigned c = 1; c <= 3; ++c) {
      if ((*nd)(c) > max(c)) max(c) = (*nd)(c);
      if ((*nd)(c) < min(c)) min(c) = (*nd)(c);
    }
}
