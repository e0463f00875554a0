#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testUtil.h"
#include "test_hsModelInfoHelpers.h"

using modeltest::ModelSetup;
using testutil::thrownMessage;
using Lines = std::vector<std::string>;

namespace {

// Two 10 m squares, layers of 3 and 2 m, bathymetry 4 and 1.5 m: element 0
// has two cells of 2 m, element 1 one of 1.5 m.
std::unique_ptr<hestor::hsModelInfo> small(bool runInit = true, bool bndFaces = true)
{
    ModelSetup s;
    s.nx = 2;
    s.ny = 1;
    s.dz = {3.0, 2.0};
    s.bathy = {4.0, 1.5};
    s.bndFaces = bndFaces;
    auto mi = modeltest::makeModel(s, runInit);
    mi->noTimestep = 24;
    mi->timestep = 3600;
    mi->startDT = 86400;
    mi->bathyStr = "const 4";
    return mi;
}

// The lines of the parts, each ending in a line end.
std::string text(std::initializer_list<Lines> parts)
{
    std::string s;
    for (const Lines& part : parts)
        for (const std::string& l : part)
            s += l + "\n";
    return s;
}

const Lines head = {"The mesh is orthogonal", "Projection:\tUTM32", "No. timesteps:\t24",
                    "Timestep seconds:\t3600", "No. Layers:\t2", "LayerType:\tZLayer",
                    "LayerThickness: 3,2"};
const Lines mesh = {"Mesh has 2 elements and 6 nodes.", "Mesh area center: (10,5)",
                    "Mesh extendX: (0,20)", "Mesh extendY: (0,10)"};
const Lines cells = {"No. Computational cells: 3", "Total mesh volume: 550",
                     "Largest cell: 0, volume=200", "Smallest cell: 2, volume=150"};
const Lines areas = {"Total mesh area: 200", "Average element area: 100, sqrt(area)=10",
                     "Largest element is element no. 0, size=100, sqrt(area)=10",
                     "Smallest element is element no. 0, size=100, sqrt(area)=10",
                     "Maximum bathymetry is 4 in element no. 0",
                     "Minimum bathymetry is 1.5 in element no. 1",
                     "Average face length is 10, shortest face is 10, longest is 10"};
const Lines dist = {"Average element distance: 10", "Shortest element distance: 10",
                    "Longest element distance: 10"};
const Lines bnd = {"2 boundaries, numbers: 1,2"};
const Lines bnd0 = {"\tBoundary 0 has number 1", "\t1 elems: 0"};
const Lines bnd1 = {"\tBoundary 1 has number 2", "\t1 elems: 1"};

} // namespace

TEST(hsModelInfoReport, Summary)
{
    auto mi = small();
    const Lines depths = {"LayerDepths (center): 3.5,1"};
    EXPECT_EQ(mi->toString(0), text({head, depths, mesh, cells, areas, bnd}));
    EXPECT_EQ(mi->toString(6), text({head, depths, mesh, cells, areas, dist, bnd, bnd0,
                                     {"\tTotal boundary area: 40"}, bnd1,
                                     {"\tTotal boundary area: 15"}}));
    // Before init(), and without boundary faces, no boundary face-cells exist.
    EXPECT_EQ(small(false)->toString(5), text({head, mesh, areas, dist, bnd}));
    EXPECT_EQ(small(false)->toString(6), text({head, mesh, areas, dist, bnd, bnd0, bnd1}));
    EXPECT_EQ(small(true, false)->toString(6),
              text({head, depths, mesh, cells, areas, dist, bnd, bnd0, bnd1}));

    hestor::hsModelInfo empty;  // no layers, no mesh: every extreme at its start value
    EXPECT_EQ(empty.toString(6),
              text({{"The mesh is not orthogonal", "Projection:\tUTM32", "No. timesteps:\t0",
                     "Timestep seconds:\t-1", "Mesh has 0 elements and 0 nodes.",
                     "Mesh area center: (0,0)", "Mesh extendX: (0,0)", "Mesh extendY: (0,0)",
                     "Total mesh area: 0", "Average element area: 0, sqrt(area)=0",
                     "Largest element is element no. -1, size=0, sqrt(area)=0",
                     "Smallest element is element no. -1, size=1e+37, sqrt(area)=3.16228e+18",
                     "Maximum bathymetry is 0 in element no. -1",
                     "Minimum bathymetry is 999999 in element no. -1",
                     "Average face length is 0, shortest face is 0, longest is 0",
                     "Average element distance: 0", "Shortest element distance: 0",
                     "Longest element distance: 0", "0 boundaries, numbers: "}}));
}

TEST(hsModelInfoReport, AveragesOverUnequalFacesAndLongBoundaries)
{
    // 3 x 2 rectangles of 10 x 5 m: 9 faces of 10 m and 8 of 5 m; each open
    // boundary has two faces, walked with the mesh on their left.
    ModelSetup s;
    s.nx = 3;
    s.ny = 2;
    s.dz = {3.0, 2.0};
    s.bathy = {4, 2, 3, 1.5, 2, 4.5};
    auto mi = modeltest::makeModel(s, false);
    meshtest::MeshData d = meshtest::sideTypedGrid(3, 2, 10.0, 1, 2);
    for (double& y : d.y)
        y *= 0.5;
    hestor::hsMesh2D rect;
    meshtest::build(rect, d);
    mi->mesh2d = rect;
    mi->init();
    const std::string r = mi->toString(6);
    // Links: 3 of 5 m and 4 of 10 m inside; to the outline (twice the
    // distance to the face) 6 of 5 m and 4 of 10 m.
    EXPECT_EQ(r.substr(r.find("Average face length")),
              text({{"Average face length is 7.64706, shortest face is 5, longest is 10",
                     "Average element distance: 7.35294", "Shortest element distance: 5",
                     "Longest element distance: 10"},
                    bnd,
                    {"\tBoundary 0 has number 1", "\t2 elems: 3,0", "\tTotal boundary area: 27.5",
                     "\tBoundary 1 has number 2", "\t2 elems: 2,5",
                     "\tTotal boundary area: 37.5"}}));
}

TEST(hsModelInfoReport, BlowupReport)
{
    const std::string faces = "faces:\nface 0:\tfdz=1.5 (previous timestep: 1.5)\n";
    EXPECT_EQ(small()->blowupReport(1),
              "\n " + std::string(15, '-') +
                  " Hestor modelInfo Blowup report, cell=1, elem=0, layer=1 " +
                  std::string(22, '-') +
                  "\nelemBathy\t=4\nenol\t=2 (of 2)\nebli\t=0\netli\t=1\n"
                  "edz \t=2,2 (previous timestep: 2,2)\n" +
                  faces + "face 1:\tfdz=2,2 (previous timestep: 2,2)\n");
    // Without boundary faces an open-boundary face has no face-cells to list.
    const std::string r = small(true, false)->blowupReport(0);
    EXPECT_EQ(r.substr(r.find("faces:")), faces);

    ModelSetup s;  // the bottom cell of a 3-cell column of 5 layers, wetting and drying
    s.bathy = {5.0};
    auto five = modeltest::makeModel(s);
    five->initWetDry();
    EXPECT_NE(five->blowupReport(0).find("\nenol\t=3 (of 5)\nebli\t=2\netli\t=4 (previous "
                                         "timestep: 4)\nedz \t=1,2,2 (previous timestep: 1,2,2)\n"),
              std::string::npos);

    for (int bad : {-1, 3})
        EXPECT_EQ(thrownMessage([&] { small()->blowupReport(bad); }),
                  "hsModelInfo::blowupReport: cell " + std::to_string(bad) +
                      " is not one of the 3 element cells.");
    EXPECT_EQ(thrownMessage([&] { small(false)->blowupReport(0); }),
              "hsModelInfo::blowupReport called before init().");
}

TEST(hsModelInfoReport, ToXML)
{
    auto mi = small();
    for (int nts : {0, 12})
        EXPECT_EQ(mi->toXML(nts),
                  text({{"<General>", "\t<Type>water</Type>", "\t<Mesh>",
                         "\t\t<Filename></Filename>", "\t\t<Format>EMT</Format>",
                         "\t\t<Projection>UTM32</Projection>", "\t</Mesh>",
                         "\t<Bathymetry>const 4</Bathymetry>",
                         "\t<LayerThickness>3,2</LayerThickness>",
                         "\t<LayerType>zlayer</LayerType>",
                         "\t<StartDT>1970-01-02 00:00:00</StartDT>", "\t<DT>3600</DT>",
                         "\t<NoTimesteps>" + std::string(nts ? "12" : "24") + "</NoTimesteps>",
                         "\t<CheckBlowUp>true</CheckBlowUp>", "</General>"}}));
    mi->modeltype = 5;
    EXPECT_THROW(mi->toXML(0), ZCoreLib::ZException);
}
