// A file's bytes as they are on disk, for the host tests and the Wine harness alike.
#ifndef QVLMR_TEST_FILE_BYTES_H
#define QVLMR_TEST_FILE_BYTES_H

#include <string>

// "" for a file that cannot be read.
std::string FileBytes(const std::string &path);

#endif
