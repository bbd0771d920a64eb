// Mesh readers: the input is a node block and an element set, read from a
// data file by the card readers (first byte even) or from a stream by the
// tool and post-processor readers (first byte odd).
#include <memory>
#include <sstream>

#include "fuzz/fuzz_target.h"
#include "input/input.h"
#include "mesh/elem.h"
#include "mesh/mesh.h"

namespace olvu_fuzz {

namespace {

// The tables never delete what they hold: the nodes and elements go here
// however the input ends.
struct Owned {
  Plex<Node> nodes{100, "All the Nodes"};
  std::unique_ptr<Mesh> mesh;
  ~Owned() {
    int i = 0;
    if (mesh)
      while (Elem* e = mesh->giveNextElm(i)) delete e;
    i = 0;
    while (Node* nd = nodes.next(i)) delete nd;
  }
};

}  // namespace

void FuzzOne(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return;
  const std::string text = Text(data + 1, size - 1);
  Owned own;
  if (data[0] & 1) {
    std::istringstream in(text);
    if (data[0] & 2) {
      own.mesh = std::make_unique<Mesh>(100, 100, 3, NoNe, 0);
      own.mesh->ReadFromAscii(in, nullptr);
      return;
    }
    ReadNodesFromAscii(in, &own.nodes, 1.0, 3);
    own.mesh = std::make_unique<Mesh>(1, in, &own.nodes);
    return;
  }
  ScratchFile file("fuzz_case.dat", text);
  Input in(file.name());
  in.ReadCard("Nodes");
  ReadNodesFromAscii(&in, &own.nodes, 2.0, 3);
  in.ReadCard("FluidElmSet");
  own.mesh = std::make_unique<Mesh>(100, 100, &in, NoNe, 0);
  own.mesh->ReadElemsFromAscii(&in, &own.nodes);
  in.ReadCard("End");
}

}  // namespace olvu_fuzz
