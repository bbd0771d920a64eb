#include "domain/domain.h"

#include "input/input.h"
#include "mesh/elem.h"

Domain::Domain(Plex<Node>* all)
    : allNodes(all), meshes(5, "Domain Meshes"), nodes(100, "Domain Nodes"), minCorner(3), maxCorner(3) {}

Domain::~Domain() {
  // The sets go first: their elements point at the nodes.
  meshes.DeleteAll();
}

void Domain::ReadElmSetCards(Input* in, const std::function<void(int, const char*)>& read) {
  in->ReadCard("ElmSets");
  for (;;) {
    in->ReadLine();
    if (in->Exist("EndElmSets")) break;
    const int n = in->GetInt("Set");
    read(n, in->GetWord("Type", nullptr));
  }
}

std::ostream& operator<<(std::ostream& out, Domain& d) {
  out << "MESH    dimension = 3 ElemType Triangle  Nnode = 3\nCoordinates\n";
  int i = 0;
  while (Node* nd = d.nodes.next(i))
    out << "\t" << i << "\t" << (*nd)(1) << "\t" << (*nd)(2) << "\t" << (*nd)(3) << "\t0\n";
  out << "end coordinates\n\nElements\n";
  int m = 0;
  while (Mesh* mesh = d.meshes.next(m)) {
    int e = 0;
    while (Elem* el = mesh->giveNextElm(e)) {
      out << "\t" << e;
      for (int k = 1; k <= 3; ++k) out << "\t" << el->node(k)->num[0];
      out << "\n";
    }
  }
  return out << "end elements\n";
}

std::ostream& operator>>(std::ostream& out, Domain&) { return out; }
