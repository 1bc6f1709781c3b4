// Paths of the build folder the tests were built in. CMake writes their values into a file
// of its own (build_paths.cpp in the build folder), so that the test files that use them
// stay the same in every build folder and clone, and ccache serves them to each.
#pragma once

namespace pix::test {

/// The source tree's data folder: the shipped layout and samples.
extern const char kSourceDataDir[];
/// The `pixamond` command line built beside the tests.
extern const char kProgramPath[];

}  // namespace pix::test
