#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <boost/filesystem/operations.hpp>
#include <string>

#include "common/PathUtils.h"

namespace fs = boost::filesystem;

TEST(PathUtils, PathToStringIsTheNativeText) {
    EXPECT_EQ(Orbanex::path_to_string(fs::path("a/b/../c"), false), "a/b/../c");
    EXPECT_EQ(Orbanex::path_to_string(fs::path("/logs/"), true), "/logs/");
}

TEST(PathUtils, ParentPathClimbsNLevels) {
    struct Row {
        const char* path;
        int n;
        const char* expected;
    };
    const Row rows[] = {
        {"a/b/c/d", 2, "a/b"},   {"a/b/c/d", 0, "a/b/c/d"}, {"a/b/c/d", -1, "a/b/c/d"},
        {"a/b/c/d", 1, "a/b/c"}, {"a/b/c/d", 4, ""},        {"/x/y", 2, "/"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.path) + " n=" + std::to_string(r.n));
        EXPECT_EQ(Orbanex::parent_path(fs::path(r.path), r.n), fs::path(r.expected));
    }
}

TEST(PathUtils, ResolveGivesTheCanonicalAbsolutePath) {
    std::string tmpl = ::testing::TempDir() + "pathutilsXXXXXX";
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    char real[PATH_MAX];
    ASSERT_NE(::realpath(tmpl.c_str(), real), nullptr);
    const fs::path dir(real);
    fs::create_directory(dir / "sub");
    fs::create_symlink(dir / "sub", dir / "link");

    EXPECT_EQ(Orbanex::resolve_dir(dir / "link" / ".." / "sub" / "."), dir / "sub");
    EXPECT_EQ(Orbanex::resolve_file(dir / "link"), dir / "sub");

    // Relative paths are taken from the initial working directory.
    char cwd[PATH_MAX];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_NE(::realpath(cwd, real), nullptr);
    EXPECT_EQ(Orbanex::resolve_dir(fs::path(".")), fs::path(real));

    fs::remove_all(dir);
}

TEST(PathUtils, UnresolvablePathGivesTheEmptyPath) {
    EXPECT_TRUE(Orbanex::resolve_file(fs::path("/nonexistent-zurav/file")).empty());
    EXPECT_TRUE(Orbanex::resolve_dir(fs::path("no-such-dir-zurav/x")).empty());
}
