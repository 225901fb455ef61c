// The main of every Windows test program. Output goes out in binary mode:
// ctest reads the test list from it, and reads "\r\n" as part of each name.
#include <cstdio>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <io.h>

int main(int argc, char** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
