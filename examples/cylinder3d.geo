// The channel of examples/cylinder3d: 2.5 x 0.41 x 0.41 m less a cylinder of diameter 0.1 m whose
// axis runs through (0.5, 0.2) from z = 0 to z = 0.41. Tetrahedra of size hc on the cylinder,
// growing linearly with the distance from it to hf at 0.4 m and beyond.
//     gmsh -3 cylinder3d.geo -setnumber hc 0.01 -setnumber hf 0.04 -format msh2 -o cylinder3d.msh
// Physical groups: volume 1 the fluid, surface 4 the cylinder (the body set); the inlet, outlet
// and walls are found by their coordinates.
SetFactory("OpenCASCADE");
DefineConstant[ hc = 0.01, hf = 0.04 ];
L = 2.5; H = 0.41; R = 0.05; XC = 0.5; YC = 0.2; e = 1e-6;
Box(1) = {0, 0, 0, L, H, H};
Cylinder(2) = {XC, YC, 0, 0, 0, H, R};
// The surface's seam line away from the front and back points (it would start at the back).
Rotate {{0, 0, 1}, {XC, YC, 0}, Pi / 2} { Volume{2}; }
BooleanDifference(3) = { Volume{1}; Delete; }{ Volume{2}; Delete; };
cyl[] = Surface In BoundingBox{XC - R - e, YC - R - e, -e, XC + R + e, YC + R + e, H + e};
// Nodes at the front and back points of the mid-height line, where the pressure difference is read.
front = newp; Point(front) = {XC - R, YC, 0.205};
back = newp; Point(back) = {XC + R, YC, 0.205};
Point{front, back} In Surface{cyl[0]};
Physical Surface(4) = cyl[];
Physical Volume(1) = {3};
Field[1] = Distance;
Field[1].SurfacesList = {cyl[]};
Field[2] = Threshold;
Field[2].InField = 1;
Field[2].SizeMin = hc;
Field[2].SizeMax = hf;
Field[2].DistMin = 0;
Field[2].DistMax = 0.4;
Background Field = 2;
Mesh.CharacteristicLengthExtendFromBoundary = 0;
Mesh.CharacteristicLengthFromPoints = 0;
Mesh.CharacteristicLengthMax = hf;
