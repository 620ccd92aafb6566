// A scratch directory for the tests of the file drivers, removed with what it
// holds; optionally the current directory while it lives.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include <dirent.h>
#include <unistd.h>

namespace legacy_test {

class ScratchDir {
public:
    explicit ScratchDir(bool enter = false) {
        char pattern[] = "/tmp/merrow1-legacy-XXXXXX";
        const char* made = mkdtemp(pattern);
        EXPECT_NE(made, nullptr);
        m_path = made ? made : "/tmp";
        if (enter) {
            char here[4096];
            m_previous = getcwd(here, sizeof here) ? here : "/";
            EXPECT_EQ(chdir(m_path.c_str()), 0);
        }
    }
    ~ScratchDir() {
        if (!m_previous.empty()) (void)!chdir(m_previous.c_str());
        if (DIR* dir = opendir(m_path.c_str())) {
            while (dirent* e = readdir(dir)) {
                const std::string name = e->d_name;
                if (name != "." && name != "..") std::remove(file(name).c_str());
            }
            closedir(dir);
        }
        rmdir(m_path.c_str());
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
    std::string m_previous;
};

inline void write_file(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

inline bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace legacy_test
