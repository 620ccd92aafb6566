// The CAM file stand-in: file names on the search path, line reading, access
// kinds, steered write failures.
#include <gtest/gtest.h>
#include <sorrel/cam_file.h>
#include <sorrel/testing.h>
#include <stend/system.h>
#include <stend/testing.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

class CamFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        sorrel_test::reset();
        char pattern[] = "/tmp/cam-file-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        std::filesystem::remove_all(dir);
        EXPECT_EQ(sorrel_test::open_files(), 0);
    }
    std::string name_of(const char* ref, const char* name) {
        char* full = CAM_FILE_make_filename(ref, name);
        std::string result = full ? full : "(null)";
        SM_free(full);
        return result;
    }
    std::string dir;
};

TEST_F(CamFileTest, FileNamesFollowTheSearchPath) {
    const char* ref = "$HVEX_CAM_FILE_SEARCH_PATH";
    stend_test::hide_env("HVEX_CAM_FILE_SEARCH_PATH");
    EXPECT_EQ(name_of(ref, "a.dmp"), "a.dmp");
    std::filesystem::create_directory(dir + "/one");
    std::filesystem::create_directory(dir + "/two");
    std::ofstream(dir + "/two/b.dmp") << "x";
    stend_test::set_env("HVEX_CAM_FILE_SEARCH_PATH", dir + "/one;" + dir + "/two/");
    EXPECT_EQ(name_of(ref, "a.dmp"), dir + "/one/a.dmp");  // nowhere: the first directory
    EXPECT_EQ(name_of(ref, "b.dmp"), dir + "/two/b.dmp");  // where it exists
    EXPECT_EQ(name_of(ref, "/abs/c.dmp"), "/abs/c.dmp");
    EXPECT_EQ(name_of(ref, nullptr), "(null)");
}

TEST_F(CamFileTest, TextLinesAndAccessKinds) {
    std::ofstream(dir + "/t.txt") << "first\r\n" << std::string(20, 'x') << "\nlast";
    CAM_FILE_s* file = nullptr;
    ASSERT_EQ(CAM_FILE_open_text((dir + "/t.txt").c_str(), CAM_FILE_ACCESS_READ, &file), CAM_FILE_SUCCESS);
    char line[16];
    EXPECT_EQ(CAM_FILE_read_text(file, line, sizeof line), CAM_FILE_SUCCESS);
    EXPECT_STREQ(line, "first");
    EXPECT_EQ(CAM_FILE_read_text(file, line, sizeof line), CAM_FILE_ERR_LINE_TOO_LONG);
    EXPECT_EQ(CAM_FILE_read_text(file, line, sizeof line), CAM_FILE_SUCCESS);
    EXPECT_STREQ(line, "last");
    EXPECT_EQ(CAM_FILE_read_text(file, line, sizeof line), CAM_FILE_END_OF_FILE);
    int read = -1;
    EXPECT_EQ(CAM_FILE_read_binary(file, 1, line, &read), CAM_FILE_ERR_ACCESS);
    EXPECT_EQ(CAM_FILE_close(&file), CAM_FILE_SUCCESS);
    EXPECT_EQ(file, nullptr);

    EXPECT_EQ(CAM_FILE_open_binary((dir + "/missing").c_str(), CAM_FILE_ACCESS_READ, &file), CAM_FILE_ERR_OPEN);
    EXPECT_EQ(file, nullptr);
}

TEST_F(CamFileTest, BinaryReadsAndSteeredWriteFailures) {
    const std::string path = dir + "/b.bin";
    CAM_FILE_s* file = nullptr;
    ASSERT_EQ(CAM_FILE_open_binary(path.c_str(), CAM_FILE_ACCESS_WRITE, &file), CAM_FILE_SUCCESS);
    sorrel_test::fail_writes_after(1);
    const char data[4] = {1, 2, 3, 4};
    EXPECT_EQ(CAM_FILE_write_binary(file, 4, data), CAM_FILE_SUCCESS);
    EXPECT_EQ(CAM_FILE_write_binary(file, 4, data), CAM_FILE_ERR_WRITE);
    char buffer[8];
    EXPECT_EQ(CAM_FILE_read_binary(file, 4, buffer, nullptr), CAM_FILE_ERR_ACCESS);
    CAM_FILE_close(&file);

    ASSERT_EQ(CAM_FILE_open_binary(path.c_str(), CAM_FILE_ACCESS_READ, &file), CAM_FILE_SUCCESS);
    int read = 0;
    EXPECT_EQ(CAM_FILE_read_binary(file, 3, buffer, &read), CAM_FILE_SUCCESS);
    EXPECT_EQ(read, 3);
    EXPECT_EQ(CAM_FILE_read_binary(file, 3, buffer, &read), CAM_FILE_ERR_READ);  // one byte left
    EXPECT_EQ(read, 1);
    EXPECT_EQ(CAM_FILE_read_binary(file, 1, buffer, &read), CAM_FILE_END_OF_FILE);
    CAM_FILE_close(&file);
    EXPECT_EQ(sorrel_test::ops(), (std::vector<std::string>{"open_binary", "write_binary", "write_binary",
                                                            "read_binary", "close", "open_binary", "read_binary",
                                                            "read_binary", "read_binary", "close"}));
}

}  // namespace

namespace {

// Text writes: a file opened for text writing or appending takes them as they
// stand; other files, null arguments and steered failures are refused.
TEST_F(CamFileTest, TextWritesGoToTextFilesOpenedForWriting) {
    const std::string path = dir + "/w.txt";
    CAM_FILE_s* file = nullptr;
    ASSERT_EQ(CAM_FILE_open_text(path.c_str(), CAM_FILE_ACCESS_WRITE, &file), CAM_FILE_SUCCESS);
    EXPECT_EQ(CAM_FILE_write_text(file, "one\n"), CAM_FILE_SUCCESS);
    EXPECT_EQ(CAM_FILE_write_text(file, ""), CAM_FILE_SUCCESS);
    EXPECT_EQ(CAM_FILE_write_text(file, nullptr), CAM_FILE_ERR_ARGUMENT);
    sorrel_test::fail_writes_after(0);
    EXPECT_EQ(CAM_FILE_write_text(file, "lost"), CAM_FILE_ERR_WRITE);
    sorrel_test::fail_writes_after(-1);
    EXPECT_EQ(CAM_FILE_close(&file), CAM_FILE_SUCCESS);
    ASSERT_EQ(CAM_FILE_open_text(path.c_str(), CAM_FILE_ACCESS_APPEND, &file), CAM_FILE_SUCCESS);
    EXPECT_EQ(CAM_FILE_write_text(file, "two"), CAM_FILE_SUCCESS);
    EXPECT_EQ(CAM_FILE_close(&file), CAM_FILE_SUCCESS);
    std::ifstream in(path);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "one\ntwo");
    EXPECT_EQ(sorrel_test::calls()[1].op, "write_text");
    EXPECT_EQ(sorrel_test::calls()[1].count, 4);

    struct Case {
        bool binary;
        int access;
    } refused[] = {{false, CAM_FILE_ACCESS_READ}, {true, CAM_FILE_ACCESS_WRITE}};
    for (const Case& c : refused) {
        ASSERT_EQ(c.binary ? CAM_FILE_open_binary(path.c_str(), c.access, &file)
                           : CAM_FILE_open_text(path.c_str(), c.access, &file),
                  CAM_FILE_SUCCESS);
        EXPECT_EQ(CAM_FILE_write_text(file, "x"), CAM_FILE_ERR_ACCESS);
        EXPECT_EQ(CAM_FILE_close(&file), CAM_FILE_SUCCESS);
    }
    EXPECT_EQ(CAM_FILE_write_text(nullptr, "x"), CAM_FILE_ERR_ARGUMENT);
}

}  // namespace
