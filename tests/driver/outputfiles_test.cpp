// Where the output files of a run go and what happens when one cannot be made: every file of the
// run is created through one helper, and a failure stops the run instead of losing its writes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/driver/cavity_data.h"
#include "tests/driver/run_olvu.h"

namespace olvu_test {
namespace {

TEST(RunOutputFiles, EachFileThatCannotBeCreatedIsFatal) {
  // A folder of the file's name cannot be opened for writing.
  for (const char* ext : {".rst", ".for", ".mov", ".kvo.res", ".kvo.msh", ".sat", ".tim", ".bgm"}) {
    SCOPED_TRACE(ext);
    Folder dir;
    dir.write("cavity", Replace(CavityData(), "Max_Iterations 3;", "Max_Iterations 3 Refine_Mesh Residual;"));
    const std::string file = std::string("cavity") + ext;
    ASSERT_EQ(mkdir(dir.path(file).c_str(), 0775), 0);
    const Outcome r = dir.olvu({"-name", "cavity"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(dir.read("cavity.err"), ErrFile("Cannot open output file \"" + file + "\"\n"));
  }
}

TEST(RunOutputFiles, BackgroundMeshFileOnlyWhenRefinementIsAsked) {
  Folder dir;
  dir.write("cavity", Replace(CavityData(), "Max_Iterations 3;", "Max_Iterations 3 Refine_Mesh None;"));
  ASSERT_EQ(dir.olvu({"-name", "cavity"}).status, 0) << dir.read("cavity.err");
  EXPECT_FALSE(dir.exists("cavity.bgm"));
  dir.write("cavity", Replace(CavityData(), "Max_Iterations 3;", "Max_Iterations 3 Refine_Mesh Residual;"));
  ASSERT_EQ(dir.olvu({"-name", "cavity"}).status, 0) << dir.read("cavity.err");
  EXPECT_TRUE(dir.exists("cavity.bgm"));
}

TEST(RunOutputFiles, MissingDataFileCreatesNoFileButItsError) {
  Folder dir;
  const Outcome r = dir.olvu({"-name", "nothere"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(dir.read("nothere.err"), ErrFile("Cannot find input file \"nothere\"\n"));
  for (const char* ext : {".res", ".tim", ".for", ".mov", ".rst"})
    EXPECT_FALSE(dir.exists(std::string("nothere") + ext)) << ext;
  // Only the heap check may have written there, depending on the allocator.
  EXPECT_EQ(WithoutHeapNotes(dir.read("nothere.war")), "");
}

TEST(RunOutputFiles, ToolOnAMissingDataFileCreatesNoTimingTable) {
  Folder dir;
  for (const char* tool : {"Write_Mesh", "Create_Rst", "Sink_and_Trim"}) {
    SCOPED_TRACE(tool);
    const Outcome r = dir.olvu({"-name", "nothere", "-tool", tool});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(dir.read("nothere.err"), ErrFile("Cannot find input file \"nothere\"\n"));
    for (const char* ext : {".tim", ".res", ".out.msh", ".rst"})
      EXPECT_FALSE(dir.exists(std::string("nothere") + ext)) << ext;
    EXPECT_EQ(WithoutHeapNotes(dir.read("nothere.war")), "");
  }
}

TEST(RunOutputFiles, LongDataFileNamesKeepEveryExtension) {
  // Longer than any fixed buffer for a name and its longest extension would allow.
  const std::string name(200, 'c');
  Folder dir;
  dir.write(name, CavityData());
  const Outcome r = dir.olvu({"-name", name});
  ASSERT_EQ(r.status, 0) << dir.read(name + ".err");
  for (const char* ext : {".res", ".rst", ".for", ".mov", ".war", ".tim", ".kvo.res", ".kvo.msh", ".sat"})
    EXPECT_TRUE(dir.exists(name + ext)) << ext;
  EXPECT_EQ(RstFrame(dir.read(name + ".rst")), "Problem;\nCurrent_Step = 2 ,\tTotal_Time = 0.2 ,\tTime_Increment = 0.1;\nEndProblem;\n");
}

}  // namespace
}  // namespace olvu_test
