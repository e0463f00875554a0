#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hsModelInfo.h"
#include "testUtil.h"
#include "test_hsModelInfoHelpers.h"

using hestor::hsModelInfo;
using modeltest::makeModel;
using modeltest::ModelSetup;
using testutil::thrownMessage;

namespace {

// Two 10 m squares, layers of 3 and 2 m, bathymetry 4 and 1.5 m: element 0
// has two cells (2 m each), element 1 one cell of 1.5 m.
ModelSetup smallSetup()
{
    ModelSetup s;
    s.nx = 2;
    s.ny = 1;
    s.dz = {3.0, 2.0};
    s.bathy = {4.0, 1.5};
    return s;
}

std::unique_ptr<hsModelInfo> smallModel(bool runInit = true)
{
    auto mi = makeModel(smallSetup(), runInit);
    mi->noTimestep = 24;
    mi->timestep = 3600;
    mi->startDT = 86400;
    mi->bathyStr = "const 4";
    return mi;
}

std::string lines(const std::vector<std::string>& v)
{
    std::string s;
    for (const std::string& l : v)
        s += l + "\n";
    return s;
}

const std::vector<std::string> head = {
    "The mesh is orthogonal", "Projection:\tUTM32", "No. timesteps:\t24",
    "Timestep seconds:\t3600"};
const std::vector<std::string> layers = {"No. Layers:\t2", "LayerType:\tZLayer",
                                         "LayerThickness: 3,2", "LayerDepths (center): 3.5,1"};
const std::vector<std::string> meshBox = {"Mesh has 2 elements and 6 nodes.",
                                          "Mesh area center: (10,5)", "Mesh extendX: (0,20)",
                                          "Mesh extendY: (0,10)"};
const std::vector<std::string> cells = {"No. Computational cells: 3", "Total mesh volume: 550",
                                        "Largest cell: 0, volume=200",
                                        "Smallest cell: 2, volume=150"};
const std::vector<std::string> areas = {
    "Total mesh area: 200", "Average element area: 100, sqrt(area)=10",
    "Largest element is element no. 0, size=100, sqrt(area)=10",
    "Smallest element is element no. 0, size=100, sqrt(area)=10",
    "Maximum bathymetry is 4 in element no. 0", "Minimum bathymetry is 1.5 in element no. 1",
    "Average face length is 10, shortest face is 10, longest is 10"};
const std::vector<std::string> distances = {"Average element distance: 10",
                                            "Shortest element distance: 10",
                                            "Longest element distance: 10"};

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

TEST(hsModelInfoReport, SummaryByLevel)
{
    auto mi = smallModel();
    const std::vector<std::string> bnd = {"2 boundaries, numbers: 1,2"};
    const std::vector<std::string> bndDetail = {
        "\tBoundary 0 has number 1", "\t1 elems: 0", "\tTotal boundary area: 40",
        "\tBoundary 1 has number 2", "\t1 elems: 1", "\tTotal boundary area: 15"};
    EXPECT_EQ(mi->toString(0), lines(head + layers + meshBox + cells + areas + bnd));
    EXPECT_EQ(mi->toString(5), lines(head + layers + meshBox + cells + areas + distances + bnd));
    EXPECT_EQ(mi->toString(6),
              lines(head + layers + meshBox + cells + areas + distances + bnd + bndDetail));

    // Without boundary faces, and before init(), there are no boundary face-cells.
    const std::vector<std::string> bndNoArea = {"\tBoundary 0 has number 1", "\t1 elems: 0",
                                                "\tBoundary 1 has number 2", "\t1 elems: 1"};
    ModelSetup s = smallSetup();
    s.bndFaces = false;
    auto noBnd = makeModel(s);
    EXPECT_NE(noBnd->toString(6).find(lines(bnd + bndNoArea)), std::string::npos);
    auto raw = smallModel(false);
    const std::vector<std::string> rawLayers(layers.begin(), layers.end() - 1);
    EXPECT_EQ(raw->toString(6),
              lines(head + rawLayers + meshBox + areas + distances + bnd + bndNoArea));
}

TEST(hsModelInfoReport, SummaryWithoutLayersOrBoundaries)
{
    hsModelInfo mi;
    meshtest::build(mi.mesh2d, meshtest::squareGrid(2, 1, 10.0));
    const std::vector<std::string> noBathy = {
        "Total mesh area: 200", "Average element area: 100, sqrt(area)=10",
        "Largest element is element no. 0, size=100, sqrt(area)=10",
        "Smallest element is element no. 0, size=100, sqrt(area)=10",
        "Maximum bathymetry is 0 in element no. -1",
        "Minimum bathymetry is 999999 in element no. -1",
        "Average face length is 10, shortest face is 10, longest is 10",
        "0 boundaries, numbers: "};
    EXPECT_EQ(mi.toString(0),
              lines(std::vector<std::string>{"The mesh is orthogonal", "Projection:\tUTM32",
                                             "No. timesteps:\t0", "Timestep seconds:\t-1"} +
                    meshBox + noBathy));

    hsModelInfo empty;  // no mesh at all: the start values of every extreme
    EXPECT_EQ(empty.toString(6),
              lines({"The mesh is not orthogonal", "Projection:\tUTM32", "No. timesteps:\t0",
                     "Timestep seconds:\t-1", "Mesh has 0 elements and 0 nodes.",
                     "Mesh area center: (0,0)", "Mesh extendX: (0,0)", "Mesh extendY: (0,0)",
                     "Total mesh area: 0", "Average element area: 0, sqrt(area)=0",
                     "Largest element is element no. -1, size=0, sqrt(area)=0",
                     "Smallest element is element no. -1, size=1e+37, sqrt(area)=3.16228e+18",
                     "Maximum bathymetry is 0 in element no. -1",
                     "Minimum bathymetry is 999999 in element no. -1",
                     "Average face length is 0, shortest face is 0, longest is 0",
                     "Average element distance: 0", "Shortest element distance: 0",
                     "Longest element distance: 0", "0 boundaries, numbers: "}));
}

TEST(hsModelInfoReport, BlowupReport)
{
    auto mi = smallModel();
    const std::string dashes15(15, '-'), dashes22(22, '-');
    EXPECT_EQ(mi->blowupReport(1),
              "\n" + lines({" " + dashes15 + " Hestor modelInfo Blowup report, cell=1, elem=0, "
                                            "layer=1 " + dashes22,
                            "elemBathy\t=4", "enol\t=2 (of 2)", "ebli\t=0", "etli\t=1",
                            "edz \t=2,2 (previous timestep: 2,2)", "faces:",
                            "face 0:\tfdz=1.5 (previous timestep: 1.5)",
                            "face 1:\tfdz=2,2 (previous timestep: 2,2)"}));

    // The bottom cell of a 3-cell column of 5 layers, under wetting and drying.
    ModelSetup s;
    s.bathy = {5.0};
    auto five = makeModel(s);
    five->initWetDry();
    const std::string r = five->blowupReport(0);
    EXPECT_NE(r.find("\nenol\t=3 (of 5)\nebli\t=2\netli\t=4 (previous timestep: 4)\n"
                     "edz \t=1,2,2 (previous timestep: 1,2,2)\nfaces:\n"),
              std::string::npos)
        << r;

    // Without boundary faces an open-boundary face has no face-cells to list.
    ModelSetup noBnd = smallSetup();
    noBnd.bndFaces = false;
    const std::string r0 = makeModel(noBnd)->blowupReport(0);
    EXPECT_EQ(r0.substr(r0.find("faces:")), "faces:\nface 0:\tfdz=1.5 (previous timestep: 1.5)\n");

    for (int bad : {-1, 3})
        EXPECT_EQ(thrownMessage([&] { mi->blowupReport(bad); }),
                  "hsModelInfo::blowupReport: cell " + std::to_string(bad) +
                      " is not one of the 3 element cells.");
    EXPECT_EQ(thrownMessage([&] { smallModel(false)->blowupReport(0); }),
              "hsModelInfo::blowupReport called before init().");
}

TEST(hsModelInfoReport, ToXML)
{
    auto mi = smallModel();
    const auto xml = [](const std::string& nts) {
        return lines({"<General>", "\t<Type>water</Type>", "\t<Mesh>", "\t\t<Filename></Filename>",
                      "\t\t<Format>EMT</Format>", "\t\t<Projection>UTM32</Projection>", "\t</Mesh>",
                      "\t<Bathymetry>const 4</Bathymetry>",
                      "\t<LayerThickness>3,2</LayerThickness>",
                      "\t<LayerType>zlayer</LayerType>", "\t<StartDT>1970-01-02 00:00:00</StartDT>",
                      "\t<DT>3600</DT>", "\t<NoTimesteps>" + nts + "</NoTimesteps>",
                      "\t<CheckBlowUp>true</CheckBlowUp>", "</General>"});
    };
    EXPECT_EQ(mi->toXML(0), xml("24"));
    EXPECT_EQ(mi->toXML(12), xml("12"));
    mi->modeltype = 5;
    EXPECT_THROW(mi->toXML(0), ZCoreLib::ZException);
}
