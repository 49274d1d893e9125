#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <boost/filesystem/operations.hpp>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "common/MappedFile.h"

using Orbanex::MappedFile;

namespace {

class MappedFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string tmpl = ::testing::TempDir() + "mappedfileXXXXXX";
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        _dir = tmpl;
    }
    void TearDown() override { boost::filesystem::remove_all(_dir); }

    std::string path(const std::string& name) const { return _dir + "/" + name; }

    void writeFile(const std::string& name, const std::string& bytes) const {
        std::ofstream(path(name), std::ios::binary) << bytes;
    }

    static std::string readFile(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    static std::string takeError(MappedFile& f) {
        std::string e;
        return f.getLastError(e) ? e : "(none)";
    }

    std::string _dir;
};

}  // namespace

TEST_F(MappedFileTest, MissingFileIsCreatedZeroFilledAndSurvivesReopening) {
    const std::string file = path("data.bin");
    {
        MappedFile f(file, 4096, false, false, false);
        EXPECT_EQ(takeError(f), "(none)");
        ASSERT_NE(f.data(), nullptr);
        EXPECT_TRUE(f.createdFile());
        EXPECT_EQ(f.getSize(), 4096);
        EXPECT_EQ(f.getFilename(), file);
        EXPECT_EQ(std::string(f.data(), 4096), std::string(4096, '\0'));
        f.data()[0] = 'A';
        f.data()[4095] = 'Z';
        EXPECT_TRUE(f.persist());
        EXPECT_EQ(takeError(f), "(none)");
        const std::string onDisk = readFile(file);
        ASSERT_EQ(onDisk.size(), 4096u);
        EXPECT_EQ(onDisk.front(), 'A');
        EXPECT_EQ(onDisk.back(), 'Z');
    }
    MappedFile again(file, 100, false, false, true);
    EXPECT_EQ(takeError(again), "(none)");
    EXPECT_FALSE(again.createdFile());
    EXPECT_EQ(again.getSize(), 4096) << "an existing larger file is mapped at its own size";
    EXPECT_EQ(again.data()[0], 'A');
}

TEST_F(MappedFileTest, EmptyFileIsStretchedToTheRequestedSize) {
    writeFile("empty", "");
    MappedFile f(path("empty"), 10, false, false, false);
    EXPECT_EQ(takeError(f), "(none)");
    EXPECT_TRUE(f.createdFile());
    EXPECT_EQ(readFile(path("empty")), std::string(10, '\0'));
}

TEST_F(MappedFileTest, GrowKeepsTheContentAndZeroFillsTheRest) {
    MappedFile f(path("grow"), 16, false, false, false);
    ASSERT_NE(f.data(), nullptr);
    std::copy_n("0123456789abcdef", 16, f.data());
    ASSERT_TRUE(f.resize(1 << 20));
    EXPECT_EQ(f.getSize(), 1 << 20);
    EXPECT_EQ(std::string(f.data(), 16), "0123456789abcdef");
    EXPECT_EQ(f.data()[(1 << 20) - 1], '\0');
    f.data()[(1 << 20) - 1] = 'x';
    EXPECT_TRUE(f.persist());
    struct stat st;
    ASSERT_EQ(::stat(path("grow").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 1 << 20);
    EXPECT_EQ(readFile(path("grow")).back(), 'x');
    EXPECT_EQ(takeError(f), "(none)");
}

TEST_F(MappedFileTest, PrivateMappingLeavesTheFileAlone) {
    writeFile("private", "abcd");
    MappedFile f(path("private"), 4, false, true, true);
    ASSERT_NE(f.data(), nullptr);
    f.data()[0] = 'X';
    EXPECT_EQ(readFile(path("private")), "abcd");
}

TEST_F(MappedFileTest, LockedMappingEitherSucceedsOrReportsTheRefusal) {
    MappedFile f(path("locked"), 4096, true, false, false);
    std::string error;
    if (f.getLastError(error)) {
        // Containers and unprivileged users may not lock memory.
        EXPECT_EQ(error, "Error mapping the file '" + path("locked") + "'.\n");
        EXPECT_EQ(f.data(), nullptr);
    } else {
        ASSERT_NE(f.data(), nullptr);
        EXPECT_EQ(f.data()[0], '\0');
    }
}

TEST_F(MappedFileTest, FailuresLeaveTheirTextOnceAndNoMapping) {
    writeFile("short", "0123456789");
    writeFile("empty", "");
    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
    // stat finds no file behind a dangling link, as if another writer created one just after.
    ASSERT_EQ(::symlink(path("target").c_str(), path("link").c_str()), 0);
    struct Row {
        std::string file;
        size_t size;
        bool exitIfMissing;
        std::string error;
    };
    const std::vector<Row> rows = {
        {path("missing"), 100, true, "File " + path("missing") + " is missing. Exiting.\n"},
        {path("empty"), 100, true, "File " + path("empty") + " was empty. Exiting.\n"},
        {path("short"), 100, false,
         "File " + path("short") + " is present and has smaller size than 100\n"},
        {_dir, 1, false, "File " + _dir + " could not be open for reading/writing.\n"},
        {path("link"), 100, false,
         "File " + path("link") + " could not be open for reading/writing.\n"},
        {path("fifo"), 100, false,
         "Error calling lseek() to stretch the file '" + path("fifo") + "'.\n"},
        {"/dev/full", 100, false, "Error writing last byte of the file '/dev/full'.\n"},
        {"/dev/null", 100, false, "Error mapping the file '/dev/null'.\n"},
        {path("zero"), 0, false,
         "Error calling lseek() to stretch the file '" + path("zero") + "'.\n"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.file);
        MappedFile f(r.file, r.size, false, false, r.exitIfMissing);
        EXPECT_EQ(f.data(), nullptr);
        std::string error;
        EXPECT_TRUE(f.getLastError(error));
        EXPECT_EQ(error, r.error);
        EXPECT_FALSE(f.getLastError(error));
    }
    struct stat st;
    EXPECT_NE(::stat(path("missing").c_str(), &st), 0) << "a missing file is not created";
    EXPECT_NE(::stat(path("target").c_str(), &st), 0) << "nothing is created through the link";
}

TEST_F(MappedFileTest, ResizeAndPersistWithoutAMappingFail) {
    MappedFile missing(path("missing"), 100, false, false, true);
    takeError(missing);
    EXPECT_FALSE(missing.resize(200));
    EXPECT_EQ(takeError(missing), "Error resizing memory mapped file '" + path("missing") + "'.\n");
    EXPECT_FALSE(missing.persist());
    EXPECT_EQ(takeError(missing), "Error syncing file '" + path("missing") + "'.\n");

    // The descriptor is open, but the file could not be mapped.
    writeFile("empty", "");
    MappedFile unmapped(path("empty"), 0, false, false, false);
    EXPECT_EQ(takeError(unmapped), "Error mapping the file '" + path("empty") + "'.\n");
    EXPECT_FALSE(unmapped.resize(64));
    EXPECT_EQ(takeError(unmapped),
              "Error mappinged the resized memory mapped file '" + path("empty") + "'.\n");
    EXPECT_EQ(unmapped.data(), nullptr);
}

TEST_F(MappedFileTest, LaterFailureReplacesAnUnreadOne) {
    MappedFile f(path("missing"), 100, false, false, true);
    EXPECT_FALSE(f.persist());
    EXPECT_EQ(takeError(f), "Error syncing file '" + path("missing") + "'.\n");
    EXPECT_EQ(takeError(f), "(none)");
}
